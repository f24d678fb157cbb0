#!/bin/sh
# The example setup program. The launcher starts it from the temporary folder
# it unpacked the payload into, waits for it, then deletes that folder.
# It shows what it was given and what it can see, then "installs" nothing.
here=$(cd "$(dirname "$0")" && pwd)
echo "setup: started as $0"
echo "setup: $# argument(s):"
for a in "$@"; do echo "setup:   [$a]"; done
echo "setup: working folder: $(pwd)"
echo "setup: unpacked into:  $here"
echo "setup: files there:"
(cd "$here" && find . -type f | LC_ALL=C sort | while read -r f; do
  echo "setup:   $f ($(wc -c < "$f") bytes)"
done)
echo "$here" > "${SFX_DEMO_FOLDER_FILE:-/dev/null}"
