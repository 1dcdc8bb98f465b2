#!/usr/bin/env bash
# Regenerates the seed corpora under fuzz/corpus/ (kept in the tree) from a built tree (`make dist`
# first): the launchers as built, 64-bit (PE32+) and 32-bit (PE32), tiny executables that carry the
# launcher's resources with nothing else, the dumps of the launchers as
# configuration files, the shipped icon and bitmaps with a few others of other formats, and short
# texts for the launcher's own parsers. The seeds of fuzz_jvm_options are inputs a fuzzing run found,
# kept as they are; this script leaves them alone, and so the inputs named regression-*, which made a
# target fail once.
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
clear $target
"$dist/stubconfig" dump "$dist/stubwin.exe" | seed $target stubwin-dump.ini
"$dist/stubconfig" dump "$dist/stubcon.exe" | sed 's/$/\r/' | seed $target stubcon-dump-crlf.ini
printf '[Launcher]\n; the class whose static main(String[]) is called, in dotted form\nMainClass=com.example.myapp.Main\nClassPath=.;lib\\\nJvmOptions=-Xmx1g\nJvmPath=jre\\bin\\server\\jvm.dll\nSplashText=Starting My App...\n' | seed $target readme.ini
printf '# comment\r\n  ; indented\r\n [ Launcher ] \r\n  JvmPath  =C:\\Program Files\\Java\\jvm.dll\r\nJvmOptions= -Xmx1g -Dx="a b" \r\nAppOptions=a=b=c\r\nSplashText=\r\nMinJavaVersion=00010008\r\nServiceStopTimeoutMessage=100%%%% of %%s' | seed $target verbatim-values.ini
printf '[Launcher]\nAppOptions=\t;not a comment = "x"\t\nIniFile=#x\nServiceDescription=[Launcher]\nSplashText=\x81\x8d\x8f\x90\x9d \x80\xff\x01\x7f\nJvmSearchMode=-2147483648\nSplashSeconds=2147483647\n' | seed $target edge-values.ini
printf '[Launcher]\nClassPath=a.jar\rb.jar\n' | seed $target lone-cr.ini
printf '[Launcher]\rJvmPath=x\r' | seed $target cr-only.ini
printf '[Launcher]\nJvmPath=x\n' | iconv -t UTF-16 | seed $target utf-16.ini
printf '[Launcher]\nmainclass=a.B\nFoo=1\n' | seed $target unknown-keys.ini
printf '[Launcher]\nSplashText=Caf\xc3\xa9 \xe2\x80\x94 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80\nMainClass=org.\xc3\xa9t\xc3\xa9.App\n' | seed $target utf-8.ini
printf '\xef\xbb\xbf[Launcher]\r\nJvmPath=C:\\Zo\xc3\xab\\jvm.dll\r\n' | seed $target utf-8-bom.ini
printf '[Launcher]\nSplashText=\xf0\x9f\x98\x80\n' | iconv -f UTF-8 -t UTF-16BE | cat <(printf '\xfe\xff') - | seed $target utf-16-be.ini
printf '[Launcher]\r\nSplashText=Caf\xe9 \x80\x99\r\n' | seed $target windows-1252.ini
printf '[Launcher]\nJvmPath=x\n[VersionInfo]\nFileVersion=1.2.3.4\nProductVersion=2\nFileDescription=\xc3\xa9\nComments=\n' | seed $target version-info.ini
printf '[VersionInfo]\nFileVersion=1.2.x\nCompanyName=\n' | seed $target bad-version.ini

# --- Icons and bitmaps ----------------------------------------------------------------------------
clear fuzz_icon_file fuzz_bitmap_file
seed fuzz_icon_file app.ico < "$root/resources/app.ico"
seed fuzz_bitmap_file splash.bmp < "$root/resources/splash.bmp"
seed fuzz_bitmap_file placeholder.bmp < "$root/resources/placeholder.bmp"
python3 - "$corpus" <<'EOF'
import struct, sys, zlib
corpus = sys.argv[1]

def png(width, height):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(b"\0" + b"\x20\x60\xa0\xff" * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))

def dib(size):
    return struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0) + b"\x10" * (4 * size * size) + \
        b"\0" * (4 * size)

def icon(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)

open(f"{corpus}/fuzz_icon_file/png-256.ico", "wb").write(icon([(256, png(4, 4))]))
open(f"{corpus}/fuzz_icon_file/dib-and-png.ico", "wb").write(icon([(16, dib(16)), (32, png(2, 2))]))

def bmp(info, pixels):
    return struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info)) + info + pixels

row = b"\x01\x02\x03" * 3 + b"\0" * 3
open(f"{corpus}/fuzz_bitmap_file/rgb-3x2.bmp", "wb").write(
    bmp(struct.pack("<IiiHHIIiiII", 40, 3, 2, 1, 24, 0, len(row) * 2, 2835, 2835, 0, 0), row * 2))
open(f"{corpus}/fuzz_bitmap_file/core-header.bmp", "wb").write(
    bmp(struct.pack("<IHHHH", 12, 3, 2, 1, 24), row * 2))
open(f"{corpus}/fuzz_bitmap_file/v5-header-top-down.bmp", "wb").write(
    bmp(struct.pack("<IiiHHIIiiII", 124, 3, -2, 1, 24, 0, 0, 0, 0, 0, 0) + b"\0" * 84, row * 2))
EOF

# --- The launcher's own parsers -------------------------------------------------------------------
main_class=$(sed -n 's/.*STUB_MAIN_CLASS_ENTRY "\(.*\)"/\1/p' "$root/build/windows/src/generated/main_class.h")
clear fuzz_tokenize_arguments fuzz_next_token fuzz_decode_main_class fuzz_message_format fuzz_launch_config \
  fuzz_version_name
printf '%s' '-Xmx512m -Dharbor.data.dir=Data\' | seed fuzz_tokenize_arguments jvm-options
printf '%s' 'default "two words"  x "unterminated' | seed fuzz_tokenize_arguments quotes-and-runs
printf '%s' '-Da=1  "-Djava.class.path=lib\a b.jar;x.txt"' | seed fuzz_tokenize_arguments class-path-option
printf '\003;\r\n%s' '.;Classes\;Sources\;Lib\harbordesk.jar;Plugins\' | seed fuzz_next_token class-path
printf '\001;%s' ';;a;;b;' | seed fuzz_next_token separator-runs
printf '%s' "$main_class" | seed fuzz_decode_main_class shipped
printf '%s' "${main_class,,}7" | seed fuzz_decode_main_class lowercase-odd
printf '\001Unable to load JVM: %%s\000C:\\jre\\bin\\client\\jvm.dll' | seed fuzz_message_format one-argument
printf '\002%%s and %%s %%d %%%% %%\000a\000b' | seed fuzz_message_format two-arguments
printf '\000100%%%% sure, %%s' | seed fuzz_message_format no-argument
printf '\004\000\001\000%s' '1.4.2' | seed fuzz_version_name jre-1.4.2
printf '\000\000\021\000%s' '17.0.2' | seed fuzz_version_name jdk-17
printf '\004\000\001\000%s' '1.8.0_392' | seed fuzz_version_name jre-1.8
printf '\017\000\025\000%s' '21' | seed fuzz_version_name major-only
printf '\000\000\000\000%s' '99999999999.99999999999' | seed fuzz_version_name saturating
printf '\000\000\021\000%s\n%s' '17.0.2+8' '17.0.2.8-ea' | seed fuzz_version_name ranked-pair
printf '\004\000\001\000%s\n%s' '1.8.0_392' '1.8.0-' | seed fuzz_version_name ranked-pair-trailing-separator
# The launchers' string tables in ID order, zero bytes between, then two INI override values.
"$dist/stubconfig" dump "$dist/stubwin.exe" | tail -n +2 | cut -d= -f2- |
  sed "s/^com\.harbordesk\.MainApp\$/$main_class/" | tr '\n' '\0' | cat - <(printf -- '-Xmx1g\000') |
  seed fuzz_launch_config stubwin-table
printf '0x1g\000\000\000\000 +12abc\000\000\000\000\000\00041\000\000\000000\000<null>\000\000\000\000\000\000\000-99999999999' |
  seed fuzz_launch_config odd-numbers
echo "seeds written to $corpus"
