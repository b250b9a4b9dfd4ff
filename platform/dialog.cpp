#include "platform/dialog.h"

#include <gtk/gtk.h>

#include <algorithm>

static bool (*Observer)(const std::string&, const std::string&) = nullptr;

struct ShownBox {
  std::string title;
  std::string text;
};

static gboolean OnBoxShown(gpointer dialog_pointer) {
  auto* box = static_cast<ShownBox*>(g_object_get_data(G_OBJECT(dialog_pointer), "box"));
  if (Observer && box && Observer(box->title, box->text))
    gtk_dialog_response(GTK_DIALOG(dialog_pointer), GTK_RESPONSE_OK);
  return G_SOURCE_REMOVE;
}

static void OnMap(GtkWidget* dialog, gpointer) {
  g_idle_add(OnBoxShown, dialog);
}

void ShowErrorBox(const std::string& title, const std::string& text) {
  // Carriage returns separate lines in the box's text.
  std::string shown = text;
  std::replace(shown.begin(), shown.end(), '\r', '\n');
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_OK, "%s", shown.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  // GTK 3 shows no icon for an error box unless it is given one.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
  gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), icon);
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_widget_show(icon);
  auto* box = new ShownBox{title, text};
  g_object_set_data_full(G_OBJECT(dialog), "box", box,
                         [](gpointer p) { delete static_cast<ShownBox*>(p); });
  g_signal_connect(dialog, "map", G_CALLBACK(OnMap), nullptr);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

void SetMessageBoxObserver(bool (*observer)(const std::string&, const std::string&)) {
  Observer = observer;
}
