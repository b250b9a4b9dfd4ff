#!/usr/bin/env bash
# End-to-end: a screenshot of the real program's window at 96 DPI, right after start-up, matches
# the layout wherever it is exact: the grey title bar with the title text and the caption
# buttons at rest, the dark column 0, the grey frame lines, the black now-playing panel with its
# placeholders in the program's font and colour, and a logo that is not blank. No station runs:
# nothing here depends on it, and a panel that never read a song shows its placeholders.
# Usage: bash test_layout.sh <program> <source dir> <build dir>
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh" "$@"

e2e_program_start || e2e_fail "the program opens its window"
# The placeholders and the logo are drawn before the window is shown; a moment lets the
# screen catch up.
sleep 1
e2e_shot "$e2e_work/window.png"
e2e_rgb "$e2e_work/window.png" "$e2e_work/window.rgb"
check "the window is 730 x 195 pixels" \
  [ "$(identify -format %wx%h "$e2e_work/window.png")" = 730x195 ]

# The placeholders as the program draws them: font 2 (14 pt, 19 px) for the artist, font 3
# (12 pt, 16 px) for title and album, each at x 105 of the panel.
e2e_render_text Artistenname 19 454 35 "$e2e_work/artist.png"
e2e_render_text Titelname 16 454 20 "$e2e_work/title.png"
e2e_render_text Albumname 16 454 21 "$e2e_work/album.png"
for part in artist title album; do e2e_rgb "$e2e_work/$part.png" "$e2e_work/$part.rgb"; done

# Each row: description, then a Python expression over the picture that yields the pixels that
# break the rule (an empty list passes). px(x, y) is (r, g, b); box(x0, y0, x1, y1) the pixels
# of a box, both corners included.
python3 - "$e2e_work" >"$e2e_work/layout.out" <<'EOF'
import sys
work = sys.argv[1]
W, H = 730, 195
data = open(f"{work}/window.rgb", "rb").read()
def px(x, y):
    i = (y * W + x) * 3
    return tuple(data[i:i + 3])
def box(x0, y0, x1, y1):
    return [(x, y) for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)]

GREY, DARK, BLACK, WHITE = (76, 74, 72), (33, 33, 33), (0, 0, 0), (255, 255, 255)
TITLE_TEXT = (0xEA, 0xEA, 0xEA)
close_glyph = ({(684 + 18 + k, 8 + k) for k in range(10)}
               | {(684 + 27 - k, 8 + k) for k in range(10)})
minimise_glyph = {(630 + 18 + k, 13) for k in range(10)}

def between(p, a, b):  # every channel between those of two colours: text smoothed onto grey
    return all(min(u, v) - 1 <= c <= max(u, v) + 1 for c, u, v in zip(p, a, b))

def same_as_reference(name, x0, y0, height):  # a value row against its reference rendering
    ref = open(f"{work}/{name}.rgb", "rb").read()
    bad = []
    for y in range(height):
        for x in range(454):
            r = tuple(ref[(y * 454 + x) * 3:(y * 454 + x) * 3 + 3])
            p = px(170 + x0 + x, 26 + y0 + y)
            if max(abs(a - b) for a, b in zip(p, r)) > 48:
                bad.append((170 + x0 + x, 26 + y0 + y))
    return bad

title_label = box(1, 0, 629, 24)
title_text = [p for p in title_label if px(*p) != GREY]
logo = box(6, 30, 165, 189)
rules = [
    ("column 0 is the window's dark background over the whole height",
     [p for p in box(0, 0, 0, 194) if px(*p) != DARK]),
    ("the title label is grey, with text smoothed from grey to 0xeaeaea only",
     [p for p in title_label if not between(px(*p), GREY, TITLE_TEXT)]),
    ("the title text stands at the left of the title bar, clear of its edges",
     [p for p in title_text if p[0] > 200 or not 1 <= p[1] <= 23]),
    ("the close button at rest: grey with a white cross",
     [p for p in box(684, 0, 729, 24) if px(*p) != (WHITE if p in close_glyph else GREY)]),
    ("the minimise button at rest: grey with a white dash",
     [p for p in box(630, 0, 675, 24) if px(*p) != (WHITE if p in minimise_glyph else GREY)]),
    ("the gap between the buttons is grey", [p for p in box(676, 0, 683, 24) if px(*p) != GREY]),
    ("the frame is grey on the left (column 1)", [p for p in box(1, 25, 1, 194) if px(*p) != GREY]),
    ("the frame is grey on the right (column 729)",
     [p for p in box(729, 25, 729, 194) if px(*p) != GREY]),
    ("the frame is grey at the bottom (row 194)",
     [p for p in box(1, 194, 729, 194) if px(*p) != GREY]),
    ("the background shows between frame and logo (columns 2 to 5)",
     [p for p in box(2, 25, 5, 193) if px(*p) != DARK]),
    # (its last two rows lie under the web view)
    ("the panel is black where it holds no text",
     [p for p in box(170, 26, 184, 153) + box(470, 26, 728, 150) if px(*p) != BLACK]),
    ("the artist placeholder in the panel's font and colour",
     same_as_reference("artist", 105, 25, 35)),
    ("the title placeholder in the panel's font and colour",
     same_as_reference("title", 105, 60, 20)),
    ("the album placeholder in the panel's font and colour",
     same_as_reference("album", 105, 80, 21)),
]
print(f"title text pixels: {len(title_text)}; logo colours: {len({px(*p) for p in logo})}")
rules.append(("the title bar shows its title text", [] if len(title_text) >= 100 else ["none"]))
rules.append(("the logo is drawn (not blank: many colours, some bright)",
              [] if len({px(*p) for p in logo}) >= 200 and any(sum(px(*p)) > 300 for p in logo)
              else ["blank"]))
for what, bad in rules:
    print(f"{'ok' if not bad else 'FAIL'}\t{what}\t{len(bad)} pixels off, first: "
          + ", ".join(f"{p} {px(*p) if isinstance(p, tuple) else ''}" for p in bad[:3]))
EOF
head -n 1 "$e2e_work/layout.out"
while IFS=$'\t' read -r outcome what detail; do
  check "$what ($detail)" [ "$outcome" = ok ]
done < <(tail -n +2 "$e2e_work/layout.out")
check "every layout rule was judged" \
  [ "$(grep -c $'^ok\t\|^FAIL\t' "$e2e_work/layout.out")" -eq 16 ]
