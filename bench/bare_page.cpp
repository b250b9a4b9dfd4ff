// The floor of this player's design: a window with a web view whose page holds an audio element
// that plays the stream, with autoplay allowed, and nothing else.
//
// Usage: bare_page [STREAM_URL]
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <string>

int main(int argc, char** argv) {
  const std::string url =
      argc > 1 ? argv[1] : "http://localhost:8000/192kbps/;?type=http&nocache=7";
  g_set_prgname("bare-page");  // window class Bare-page
  gtk_init(nullptr, nullptr);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 558, 40);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  WebKitWebsitePolicies* policies =
      webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
  GtkWidget* view =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "website-policies", policies, nullptr));
  g_object_unref(policies);
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  const std::string page = "<audio autoplay controls src='" + url + "'></audio>";
  webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), page.c_str(), "about:blank");
  gtk_main();
  return 0;
}
