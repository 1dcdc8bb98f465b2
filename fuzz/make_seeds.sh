#!/usr/bin/env bash
# Regenerates the seeds under fuzz/corpus/ (kept in the tree) that follow from a built tree (`make dist`
# first): the launchers as built, 64-bit (PE32+) and 32-bit (PE32), tiny executables that carry the
# launcher's resources with nothing else, the dumps of the launchers as configuration files, the
# shipped icon and bitmaps, and the stored main class. The other seeds are fixed inputs written once
# (configuration files of every encoding and line end, icons and bitmaps of other formats, short texts
# for the launcher's own parsers) or found by a fuzzing run (fuzz_jvm_options, and the inputs named
# regression-*, which made a target fail once); this script leaves them alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=$root/fuzz/corpus
work=$root/build/seeds
dist=$root/dist
mkdir -p "$work"

seed() {  # seed TARGET NAME: copies standard input to the target's corpus as NAME
  mkdir -p "$corpus/$1"
  cat > "$corpus/$1/$2"
}

clear() {  # clear TARGET...: removes the seeds this script makes; inputs a fuzzing run found that once
  for target in "$@"; do  # failed are kept, as regression-*
    find "$corpus/$target" -type f ! -name 'regression-*' -delete 2>/dev/null || true
  done
}

# --- Executables ----------------------------------------------------------------------------------
# Tiny executables: an entry point that does nothing and the launcher's resource script, with a 16 x 16
# icon and the 1 x 1 placeholder bitmap in place of the large ones.
tiny=$work/tiny
rm -rf "$tiny" && mkdir -p "$tiny"
cp "$root/resources/launcher.rc" "$root/resources/messages.bin" "$root"/build/windows/src/generated/* "$tiny/"
cp "$root/resources/placeholder.bmp" "$tiny/placeholder.bmp"
cp "$root/resources/placeholder.bmp" "$tiny/splash.bmp"
python3 - "$root/resources/app.ico" "$tiny/app.ico" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
width, height, colors, reserved, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6)
open(sys.argv[2], "wb").write(struct.pack("<HHH", 0, 1, 1) +
                               struct.pack("<BBBBHHII", width, height, colors, reserved, planes, bits, size, 22) +
                               data[offset:offset + size])
EOF
echo 'void entry(void) {}' > "$tiny/entry.c"
for arch in x86_64 i686; do
  entry=entry; [ $arch = i686 ] && entry=_entry
  (cd "$tiny" && $arch-w64-mingw32-windres -DSTUB_WINDOWED launcher.rc -O coff -o launcher-$arch.res &&
   $arch-w64-mingw32-gcc -Os -s -nostdlib -Wl,-e,$entry entry.c launcher-$arch.res -o tiny-$arch.exe)
done

target=fuzz_stubconfig_dump
clear $target
seed $target stubcon.exe < "$dist/stubcon.exe"
seed $target stubwin.exe < "$dist/stubwin.exe"
seed $target stubcon32.exe < "$dist/x86/stubcon.exe"
seed $target tiny64.exe < "$tiny/tiny-x86_64.exe"
seed $target tiny32.exe < "$tiny/tiny-i686.exe"
# Version information as the tool writes it (the launchers' own is another translation) and a manifest
# given with --manifest, with settings of every plane.
printf '[Launcher]\nSplashText=Caf\xc3\xa9 \xf0\x9f\x98\x80\n[VersionInfo]\nFileVersion=1.2.3.4\nProductName=\xe6\x97\xa5\xe6\x9c\xac\nComments=\n' > "$work/version.ini"
printf '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>' > "$work/small.manifest"
"$dist/stubconfig" write --stub "$tiny/tiny-x86_64.exe" --config "$work/version.ini" --manifest "$work/small.manifest" \
  --out "$work/tiny64-version-info.exe"
seed $target tiny64-version-info.exe < "$work/tiny64-version-info.exe"

# fuzz_stubconfig_write takes the edit from the input's last byte, a byte of the last section's
# padding here: each launcher gets another edit, the tiny ones every edit.
with_last_byte() {  # with_last_byte FILE BYTE: the file with its last byte replaced
  head -c -1 "$1"
  printf "\\$(printf '%03o' "$2")"
}
target=fuzz_stubconfig_write
clear $target
with_last_byte "$dist/stubcon.exe" 3 | seed $target stubcon-icon-and-splash.exe
with_last_byte "$dist/stubwin.exe" 1 | seed $target stubwin-every-setting-at-full-length.exe
with_last_byte "$dist/x86/stubcon.exe" 2 | seed $target stubcon32-every-setting.exe
for edit in 0 1 2 3 4 5; do
  with_last_byte "$tiny/tiny-x86_64.exe" $edit | seed $target tiny64-edit$edit.exe
  with_last_byte "$tiny/tiny-i686.exe" $edit | seed $target tiny32-edit$edit.exe
done

# --- Configuration files --------------------------------------------------------------------------
target=fuzz_ini_roundtrip
"$dist/stubconfig" dump "$dist/stubwin.exe" | seed $target stubwin-dump.ini
"$dist/stubconfig" dump "$dist/stubcon.exe" | sed 's/$/\r/' | seed $target stubcon-dump-crlf.ini

# --- Icons and bitmaps ----------------------------------------------------------------------------
seed fuzz_icon_file app.ico < "$root/resources/app.ico"
seed fuzz_bitmap_file splash.bmp < "$root/resources/splash.bmp"
seed fuzz_bitmap_file placeholder.bmp < "$root/resources/placeholder.bmp"

# --- The launcher's own parsers -------------------------------------------------------------------
main_class=$(sed -n 's/.*STUB_MAIN_CLASS_ENTRY "\(.*\)"/\1/p' "$root/build/windows/src/generated/main_class.h")
printf '%s' "$main_class" | seed fuzz_decode_main_class shipped
printf '%s' "${main_class,,}7" | seed fuzz_decode_main_class lowercase-odd
# The launchers' string tables in ID order, zero bytes between, then two INI override values.
"$dist/stubconfig" dump "$dist/stubwin.exe" | tail -n +2 | cut -d= -f2- |
  sed "s/^com\.harbordesk\.MainApp\$/$main_class/" | tr '\n' '\0' | cat - <(printf -- '-Xmx1g\000') |
  seed fuzz_launch_config stubwin-table
echo "seeds written to $corpus"
