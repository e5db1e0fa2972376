#!/usr/bin/env bash
# Builds Quillet's Debian package into build-package/ and checks it: an install into a fresh
# prefix is validated and started (scripts/check-installed.sh), then CPack makes the .deb and
# its fields and files are compared with the install.
#
# A package carries the maker's web site and mail address:
#   QUILLET_WEB_SITE=https://... QUILLET_SUPPORT_MAIL=someone@... bash scripts/package.sh
# Without them the placeholders stay and CPack refuses; QUILLET_TEST_PACKAGE=1 makes a test
# package with the placeholders anyway, with a loud warning (CI does so).
#
# --try-install also installs the package with apt-get, checks the installed program and
# removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
try_install=0
[ "${1:-}" = "--try-install" ] && try_install=1
scripts/install-deps.sh

build=build-package
flags=(-DCMAKE_BUILD_TYPE=Release -DQUILLET_TESTS=OFF)
# The addresses come from the environment each time, never from an earlier run's cache.
for name in QUILLET_WEB_SITE QUILLET_SUPPORT_MAIL; do
  if [ -n "${!name:-}" ]; then flags+=("-D$name=${!name}"); else flags+=("-U$name"); fi
done
if [ "${QUILLET_TEST_PACKAGE:-0}" = 1 ]; then
  flags+=(-DQUILLET_ALLOW_PLACEHOLDER_ADDRESSES=ON)
else
  flags+=(-DQUILLET_ALLOW_PLACEHOLDER_ADDRESSES=OFF)
fi
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
version=$(sed -n 's/^#define QUILLET_VERSION "\(.*\)"$/\1/p' "$build/generated/QuilletBuildConfig.h")

stage=$(mktemp -d /tmp/quillet-stage.XXXXXX)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/usr" >/dev/null
bash scripts/check-installed.sh "$stage/usr" "$version"

rm -f "$build"/quillet_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/quillet_*.deb)

fail() { echo "package: $*" >&2; exit 1; }
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6multimedia6 libqt6svg6 libavcodec libtag1; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
# The package holds what the install holds, under /usr.
diff <(cd "$stage" && find . -type f | sort) \
     <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort) ||
  fail "the package and the install hold different files"
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Architecture Depends

if [ "$try_install" = 1 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "./$deb" >/dev/null
  status=0
  bash scripts/check-installed.sh /usr "$version" || status=$?
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quillet >/dev/null
  [ "$status" = 0 ] || fail "the installed package does not work"
  echo "package: installed, checked and removed again"
fi
