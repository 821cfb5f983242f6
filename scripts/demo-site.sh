# The demo's update site and installation, shared by scripts/demo.sh and the
# Windows self-update (tests/windows/self_update.sh). Sourced, from the
# project's root; the caller defines
#   kavrel_tool COMMAND SOURCE TARGET   runs the kavrel program's compress or
#                                       scramble command on two files
#   demo_sign FILE                      signs FILE into FILE.minisig with a key
#                                       made for the run, and sets $public_key
# and cleans up "$server" when it ends.

# Copies the site and the cabinet's files into WORK/site and WORK/package.
demo_site_copy() {
  cp -r demo/site "$1/site"
  mkdir -p "$1/package"
  cp -r demo/packages/cabinet/. "$1/package/"
}

# Packs WORK/package's FILES into the site's cabinet, compresses the notes,
# starts the HTTP server on the site and writes its update.ini, whose files
# come through the server path prefix SLOW (empty: at full speed). Sets
# $server and $base.
demo_site_publish() {
  local work=$1 slow=$2
  shift 2
  (cd "$work/package" && gcab -c -z "$work/site/files/extras.cab" "$@")
  kavrel_tool compress "$PWD/demo/packages/notes.txt" "$work/site/files/notes.tx_" >/dev/null
  mkfifo "$work/keep"
  exec 9<>"$work/keep"   # the server runs while the caller holds the pipe open
  python3 tests/servers/http_server.py "$work/site" <"$work/keep" >"$work/server.out" 2>&1 &
  server=$!
  for _ in $(seq 100); do grep -q '^PORT' "$work/server.out" 2>/dev/null && break; sleep 0.1; done
  base="http://127.0.0.1:$(awk '/^PORT/ {print $2}' "$work/server.out")"
  # Each file's hash and size, which the signature then covers.
  local fill=(-e "s|@BASE@|$base|g" -e "s|@SLOW@|$slow|g") path name
  for path in "$work/site/news.txt" "$work/site/files/"*; do
    name=${path#"$work/site/"}
    fill+=(-e "s|@SHA256:$name@|$(sha256sum "$path" | cut -d' ' -f1)|g"
           -e "s|@SIZE:$name@|$(stat -c %s "$path")|g")
  done
  sed "${fill[@]}" demo/site/update.ini.in > "$work/site/update.ini"
  demo_sign "$work/site/update.ini"
}

# Lays out the installation in APP: version 1.0 of the tool's data, the
# splash picture and the scrambled settings file pointing at the site.
demo_installation() {
  local app=$1 work=$2
  mkdir -p "$app/installed" "$app/Data/Sound"
  printf 'Kavrel demo tool, version 1.0' > "$app/installed/tool.dat"   # older and smaller
  cp resources/tolvan.bmp "$app/"
  # The publisher's public key ships with the installation: only control
  # files signed with its secret key are followed.
  # "Run": the launcher is the application's entry point, and starts it itself
  # whenever no update hands it over to the updater.
  printf '[Conf]\r\nAdd=%s/update.ini\r\nKey=%s\r\nProduct=Kavrel.Demo\r\nRun=app.exe --welcome back\r\n' \
    "$base" "$public_key" > "$work/settings.ini"
  kavrel_tool scramble "$work/settings.ini" "$app/Data/Sound/QZ.au" >/dev/null
}
