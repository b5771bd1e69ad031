#!/usr/bin/env bash
# install_test.sh BUILD_DIR CMAKE CPACK: installs the build into a temporary prefix, moves the installed tree
# elsewhere and runs it from there with a clean environment (so that neither the source tree
# nor a build-time path can supply its data), validates the desktop entry and the metainfo,
# checks the manual pages and the bash completion against --help and the command table, and
# that an unusable prefix fails with the installer's message. With VISTALOOM_PACKAGE_TEST set,
# builds the Debian package as well and runs the program from its unpacked contents.
set -euo pipefail

build=$(cd "$1" && pwd)
cmake=${2:-cmake}
cpack=${3:-cpack}
tmp=$(mktemp -d /tmp/vistaloom-install-test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Runs a command with nothing of the caller's environment but a PATH, from a folder of its own.
mkdir -p "$tmp/elsewhere" "$tmp/home"
clean() {
  (cd "$tmp/elsewhere" && env -i PATH="$tmp/moved/bin:/usr/bin:/bin" HOME="$tmp/home" \
    XDG_RUNTIME_DIR="$tmp/home/run" "$@")
}

# --- install, then move the whole tree away from where it was installed
"$cmake" --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log"
mv "$tmp/prefix" "$tmp/moved"
p="$tmp/moved"
for f in bin/vistaloom bin/vistaloom-cmd share/vistaloom/icons/def_tool.png share/vistaloom/icons/def_drawer.png \
  share/vistaloom/samples/testcard.png share/applications/vistaloom.desktop \
  share/metainfo/io.github.vistaloom.vistaloom.metainfo.xml share/icons/hicolor/scalable/apps/vistaloom.svg \
  share/man/man1/vistaloom.1.gz share/man/man1/vistaloom-cmd.1.gz \
  share/bash-completion/completions/vistaloom share/bash-completion/completions/vistaloom-cmd; do
  [ -s "$p/$f" ] || fail "not installed: $f"
done
for size in 16 32 48 64 128 256; do
  png="$p/share/icons/hicolor/${size}x${size}/apps/vistaloom.png"
  # The PNG header's width and height (big-endian words at bytes 16 and 20).
  got=$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}')
  [ "$got" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $got"
done

# --- the installed program on the installed sample, data found beside it
mkdir -p "$tmp/home/run" && chmod 700 "$tmp/home/run"
sample="$p/share/vistaloom/samples/testcard.png"
if ! clean vistaloom --headless "$sample" >"$tmp/out" 2>"$tmp/err"; then
  fail "vistaloom --headless exited with $? ($(cat "$tmp/err"))"
fi
grep -q '^Width:' "$tmp/out" || fail "no Width: line from the installed program: $(cat "$tmp/out")"
grep -q 'data folder' "$tmp/err" && fail "the installed program did not find its data: $(cat "$tmp/err")"
[ "$(clean sh -c 'command -v vistaloom')" = "$p/bin/vistaloom" ] || fail "PATH does not lead to the installed program"

# Without its data folder the program says which folder it looked for - the installed one, not
# the source tree's (which still exists) - and still does its work.
mv "$p/share/vistaloom" "$p/share/vistaloom.away"
clean vistaloom --headless "$p/share/vistaloom.away/samples/testcard.png" >"$tmp/out" 2>"$tmp/err" ||
  fail "without its data folder the program failed: $(cat "$tmp/err")"
grep -qF "the data folder $p/share/vistaloom is missing" "$tmp/err" ||
  fail "no message naming $p/share/vistaloom: $(cat "$tmp/err")"
grep -q '^Width:' "$tmp/out" || fail "without its data folder the picture was not loaded"
mv "$p/share/vistaloom.away" "$p/share/vistaloom"

# --- validators on the installed files
desktop-file-validate "$p/share/applications/vistaloom.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$p/share/metainfo/io.github.vistaloom.vistaloom.metainfo.xml" >"$tmp/as" 2>&1 ||
  fail "appstreamcli validate: $(cat "$tmp/as")"
grep -q '^Exec=vistaloom .*%F$' "$p/share/applications/vistaloom.desktop" || fail "Exec without %F"
for t in image/png image/jpeg image/x-ilbm; do
  grep -q "^MimeType=.*$t;" "$p/share/applications/vistaloom.desktop" || fail "MimeType lacks $t"
done

# --- manual pages list every option of --help
for prog in vistaloom vistaloom-cmd; do
  gzip -dc "$p/share/man/man1/$prog.1.gz" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' >"$tmp/$prog.man"
  grep -q '^\.TH' "$tmp/$prog.man" || fail "$prog.1 is no manual page"
  options=$(clean "$prog" --help | grep -o -- '--[a-z][a-z0-9-]*' | sort -u)
  [ -n "$options" ] || fail "$prog --help names no options"
  for o in $options; do
    grep -q -- "$o\b" "$tmp/$prog.man" || fail "$prog.1 does not list $o"
  done
done

# --- bash completion: every option of --help, every command word HELP answers
completion="$p/share/bash-completion/completions/vistaloom"
complete_words() { # complete_words WORD... : what the completion offers for the last word
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1));
           f=_vistaloom; [ "$1" = vistaloom-cmd ] && f=_vistaloom_cmd; $f; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$completion" "$@"
}
offered=$(complete_words vistaloom --)
for o in $(clean vistaloom --help | grep -o -- '--[a-z][a-z0-9-]*' | sort -u); do
  grep -qx -- "$o" <<<"$offered" || fail "completion does not offer $o"
done
clean vistaloom --headless --exec HELP "$sample" >"$tmp/help" 2>&1 || true
# HELP answers "RC 0 Load FILE; LoadNext; ..."; the first word of each item is a command word.
words=$(sed -n 's/^RC 0 \(Load .*\)$/\1/p' "$tmp/help" | tr ';' '\n' | awk '{print $1}')
[ -n "$words" ] || fail "HELP listed no commands: $(cat "$tmp/help")"
offered=$(complete_words vistaloom-cmd "")
for w in $words; do
  grep -qx -- "$w" <<<"$offered" || fail "completion does not offer the command $w"
done
grep -qx WIDTH <<<"$(complete_words vistaloom-cmd Scale "")" || fail "completion does not offer Scale's WIDTH"
grep -qx FULLSCREEN <<<"$(complete_words vistaloom FU)" || fail "completion does not offer FULLSCREEN"

# --- a prefix that cannot be made fails with the installer's message
touch "$tmp/a-file"
if "$cmake" --install "$build" --prefix "$tmp/a-file/prefix" >"$tmp/bad.log" 2>&1; then
  fail "installing under a regular file succeeded"
elif ! grep -q "$tmp/a-file/prefix" "$tmp/bad.log"; then
  fail "the failed install does not name the prefix: $(cat "$tmp/bad.log")"
fi

# --- the Debian package (slow: only on request)
if [ -n "${VISTALOOM_PACKAGE_TEST:-}" ]; then
  (cd "$build" && "$cpack" -G DEB) >"$tmp/cpack.log" 2>&1 || fail "cpack: $(tail -20 "$tmp/cpack.log")"
  deb=$(ls "$build"/vistaloom_*.deb | head -1)
  depends=$(dpkg-deb -f "$deb" Depends)
  grep -q 'libqt6widgets6' <<<"$depends" || fail "the package does not depend on Qt: $depends"
  grep -q 'libjpeg' <<<"$depends" || fail "the package does not depend on libjpeg: $depends"
  dpkg-deb -x "$deb" "$tmp/deb"
  rm -rf "$tmp/moved" && mv "$tmp/deb/usr" "$tmp/moved"
  clean vistaloom --headless "$tmp/moved/share/vistaloom/samples/testcard.png" >"$tmp/out" 2>"$tmp/err" ||
    fail "the packaged program failed: $(cat "$tmp/err")"
  grep -q '^Width:' "$tmp/out" || fail "the packaged program printed no Width:"
  [ -s "$tmp/err" ] && fail "the packaged program complained: $(cat "$tmp/err")"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "install test passed"
