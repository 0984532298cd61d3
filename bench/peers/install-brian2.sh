#!/bin/sh
# The peer simulator for the side-by-side measurement, from Debian (not needed by the build or CI).
set -e
if /usr/bin/python3 -c 'import brian2' 2>/dev/null; then exit 0; fi
[ "$(id -u)" = 0 ] && SUDO= || SUDO=sudo
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3-brian g++ >/dev/null
