#!/usr/bin/env bash
# The release command end to end, into build roots of its own.
#
#   archive-test.sh build SOURCE VERSION ROOT_A ROOT_B    release into ROOT_A, check it
#   archive-test.sh rebuild SOURCE VERSION ROOT_A ROOT_B  release into ROOT_B: same bytes
set -euo pipefail
mode=${1:?usage: archive-test.sh build|rebuild SOURCE VERSION ROOT_A ROOT_B}
src=$2 version=$3 first=$4 second=$5
here=$(cd "$(dirname "$0")" && pwd)
name=ExamClient-$version
epoch=$(git -C "$src" log -1 --format=%ct)

# The commit and any uncommitted change: the two builds must see the same.
source_state() {
  {
    git -C "$src" rev-parse HEAD
    git -C "$src" diff HEAD
    (cd "$src" && git ls-files -z --others --exclude-standard | xargs -0 -r sha256sum)
  } | sha256sum
}

release_into() {
  rm -rf "$1"
  source_state > "$1.sources"
  bash "$src/scripts/release.sh" --build-root "$1" > "$1.log" 2>&1 || {
    tail -40 "$1.log"
    echo "release.sh failed, log in $1.log"
    exit 1
  }
}

case $mode in
build)
  release_into "$first"
  out=$first/release
  python3 "$here/check_archive.py" "$out/$name.zip" "$version" "$epoch"
  (cd "$out" && sha256sum -c SHA256SUMS)
  # The installer beside the archive is the one inside it.
  unzip -p "$out/$name.zip" "$name/setup/$name-setup.exe" | cmp - "$out/$name-setup.exe"
  ;;
rebuild)
  [ -f "$first/release/SHA256SUMS" ] || { echo "no first release in $first"; exit 1; }
  release_into "$second"
  cat "$first/release/SHA256SUMS"
  if ! cmp "$first/release/SHA256SUMS" "$second/release/SHA256SUMS"; then
    cat "$second/release/SHA256SUMS"
    if ! cmp -s "$first.sources" "$second.sources" || [ "$(source_state)" != "$(cat "$second.sources")" ]; then
      echo "the sources changed while the releases were built: run again on a quiet tree"
    fi
    # Name the files that differ, to say where the build is not reproducible.
    mkdir -p "$second/diff/a" "$second/diff/b"
    unzip -q -o "$first/release/$name.zip" -d "$second/diff/a"
    unzip -q -o "$second/release/$name.zip" -d "$second/diff/b"
    diff -rq "$second/diff/a" "$second/diff/b" || true
    exit 1
  fi
  echo "two releases into different trees: identical"
  ;;
*)
  echo "usage: archive-test.sh build|rebuild SOURCE VERSION ROOT_A ROOT_B" >&2
  exit 2
  ;;
esac
