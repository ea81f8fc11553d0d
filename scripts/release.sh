#!/usr/bin/env bash
# Builds a release from fresh release trees: the Windows installer and the
# release archive, byte for byte the same for two builds of one commit.
#
#   scripts/release.sh [--build-root DIR]
#
# Trees: DIR/release-i686, DIR/release-x86_64, DIR/release-linux (DIR is
# build/ unless given). Output in DIR/release/:
#   ExamClient-<version>.zip        clients, servers, samples, deployment guide
#   ExamClient-<version>-setup.exe  the installer (also inside the archive)
#   SHA256SUMS
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)

root=build
while [ $# -gt 0 ]; do
  case $1 in
    --build-root) root=${2:?--build-root needs a directory}; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "release: unknown argument $1" >&2; exit 2 ;;
  esac
done
mkdir -p "$root"
root=$(cd "$root" && pwd)

# Every timestamp that ends up in an output is the commit's time.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH
# zip stores local times; sort and tools must not depend on the caller's locale.
export TZ=UTC LC_ALL=C.UTF-8
umask 022

for tool in cmake cpack ninja makensis zip sha256sum git; do
  command -v "$tool" >/dev/null || { echo "release: $tool is missing (bash scripts/install-deps.sh)" >&2; exit 1; }
done

# Only what ships is built.
build_tree() {
  local preset=$1 dir=$2
  shift 2
  echo "== $preset -> $dir"
  cmake --preset "$preset" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DEXAM_RELEASE_BUILD=ON \
    -DBUILD_TESTING=OFF -DEXAM_SERVER_TESTS=OFF -DEXAM_SERVER_FUZZ=OFF --no-warn-unused-cli >/dev/null
  cmake --build "$dir" -j 2 --target "$@"
}

build_tree windows-i686 "$root/release-i686" ExamClient exam-server
build_tree windows-x86_64 "$root/release-x86_64" ExamClient exam-server
build_tree linux "$root/release-linux" exam-server
echo "== installer"
# What `--target package` runs, without building the rest of the tree first.
(cd "$root/release-i686" && cpack -G NSIS --config CPackConfig.cmake)

version=$(sed -n 's/^#define EXAM_VERSION_TEXT "\(.*\)"$/\1/p' "$root/release-i686/generated/Version.h")
[ -n "$version" ] || { echo "release: no version in the i686 tree" >&2; exit 1; }
name=ExamClient-$version
setup=$root/release-i686/$name-setup.exe

out=$root/release
stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage/$name"
put() { # mode source destination-in-archive
  install -D -m "$1" "$2" "$stage/$name/$3"
}
put 0755 "$root/release-i686/ExamClient.exe" client/win32/ExamClient.exe
put 0755 "$root/release-x86_64/ExamClient.exe" client/win64/ExamClient.exe
put 0755 "$setup" "setup/$name-setup.exe"
put 0755 "$root/release-linux/server/exam-server" server/linux-x86_64/exam-server
put 0755 "$root/release-x86_64/server/exam-server.exe" server/windows-x86_64/exam-server.exe
put 0644 server/samples/roster.csv server/roster.csv
put 0644 packaging/config.ini config.ini
put 0644 packaging/DEPLOYMENT.md DEPLOYMENT.md

# zip keeps even seconds only, and would round an odd one up.
stamp=$((SOURCE_DATE_EPOCH - SOURCE_DATE_EPOCH % 2))
find "$stage" -exec touch -h -d "@$stamp" {} +
rm -f "$out/$name.zip"
# Sorted names, no directory entries, no extra fields (owner, exact times).
(cd "$stage" && find "$name" -type f | sort | zip -X -D -9 -q "$out/$name.zip" -@)
cp "$setup" "$out/$name-setup.exe"
touch -d "@$stamp" "$out/$name.zip" "$out/$name-setup.exe"
rm -rf "$stage"
(cd "$out" && sha256sum "$name.zip" "$name-setup.exe" > SHA256SUMS)

echo "== release $version (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
(cd "$out" && ls -l "$name.zip" "$name-setup.exe" && cat SHA256SUMS)
