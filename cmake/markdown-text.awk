# awk -v eol=EOL -f markdown-text.awk GUIDE.md > GUIDE.txt
# The operator's guide as plain text, for Notepad and for a pager: the
# Markdown marks that only a renderer reads (code ticks, emphasis, fences,
# link syntax) go, headings are underlined, and each table row becomes a
# block, its first cell on a line of its own and the others indented under
# it, since a table's long cells cannot be lined up in 78 columns. Plain
# POSIX awk (Debian's mawk), so that every build host has it. eol is "\r"
# for Windows text, empty otherwise.

function out(s) {
  if (s == "" && blank) return  # one blank line between blocks, however many the source has
  blank = s == ""
  printf "%s%s\n", s, eol
}

# Emphasis and link syntax outside code spans; the ticks themselves go.
# inCode carries an open code span over a line break.
function inline(s,    r, piece, n, i, parts) {
  n = split(s, parts, "`")
  r = ""
  for (i = 1; i <= n; i++) {
    piece = parts[i]
    if (i > 1) inCode = !inCode
    if (!inCode) {
      gsub(/\*\*/, "", piece)
      while (match(piece, /\*[^* ][^*]*\*/)) piece = substr(piece, 1, RSTART - 1) substr(piece, RSTART + 1, RLENGTH - 2) substr(piece, RSTART + RLENGTH)
      while (match(piece, /!\[[^]]*\]\([^)]*\)/)) {
        alt = substr(piece, RSTART + 2, RLENGTH)
        sub(/\]\(.*$/, "", alt)
        piece = substr(piece, 1, RSTART - 1) "[picture: " alt "]" substr(piece, RSTART + RLENGTH)
      }
      while (match(piece, /\[[^]]*\]\([^)]*\)/)) {
        link = substr(piece, RSTART + 1, RLENGTH - 2)
        text = link; sub(/\]\(.*$/, "", text)
        target = link; sub(/^.*\]\(/, "", target)
        piece = substr(piece, 1, RSTART - 1) text (text == target ? "" : " (" target ")") substr(piece, RSTART + RLENGTH)
      }
    }
    r = r piece
  }
  return r
}

# Words of s on lines of at most 78 columns, each begun with indent.
function wrap(s, indent,    n, i, w, line) {
  n = split(s, w, " ")
  line = ""
  for (i = 1; i <= n; i++) {
    if (line != "" && length(line) + 1 + length(w[i]) > 78) { out(line); line = "" }
    line = (line == "" ? indent w[i] : line " " w[i])
  }
  if (line != "") out(line)
}

function cells(s, arr,    n, i) {
  sub(/^[ \t]*\|/, "", s); sub(/\|[ \t]*$/, "", s)
  n = split(s, arr, "|")
  for (i = 1; i <= n; i++) { gsub(/^[ \t]+|[ \t]+$/, "", arr[i]); arr[i] = inline(arr[i]) }
  return n
}

BEGIN { inFence = 0; inCode = 0; header = 0 }

/^```/ { inFence = !inFence; next }
inFence { out("    " $0); next }

/^\|/ {
  if (!header) { header = cells($0, head); getline; next }  # the separator row follows the header
  n = cells($0, row)
  out(row[1])
  for (i = 2; i <= n; i++) wrap((header > 2 ? head[i] ": " : "") row[i], "    ")
  out("")
  next
}
{ header = 0 }

/^#+ / {
  level = index($0, " ") - 1
  title = inline(substr($0, level + 2))
  out(title)
  line = title; gsub(/./, level == 1 ? "=" : level == 2 ? "-" : "~", line)
  out(line)
  next
}

/^[ \t]*$/ { inCode = 0; out(""); next }

{ out(inline($0)) }
