#!/bin/sh
# Signs a catalog with osslsigncode: a second, independent producer of
# catalogs signed under the generator's test PKI.
#
#   osslsigncode-sign.sh PKI-DIR IN.cat OUT.cat [--hash sha1|sha256] [--time UNIX] [--timestamp]
#
# PKI-DIR is what `korva-catgen --write-pki PKI-DIR` wrote; IN.cat is any
# catalog, usually `korva-catgen --malform unsigned`: osslsigncode keeps its
# trust list and replaces whatever signature it has. --time fixes the signing
# time (osslsigncode adds the attribute, with the current time otherwise);
# --timestamp adds an RFC 3161 token from osslsigncode's built-in
# time-stamping authority, signed offline with PKI-DIR's tsa key at the same
# time, so no network service is needed.
set -eu
if [ $# -lt 3 ]; then
  sed -n '5p' "$0" >&2
  exit 2
fi
pki=$1 in=$2 out=$3
shift 3
hash=sha256 time= timestamp=no
while [ $# -gt 0 ]; do
  case $1 in
    --hash) hash=$2; shift 2 ;;
    --time) time=$2; shift 2 ;;
    --timestamp) timestamp=yes; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
set -- sign -certs "$pki/signer.pem" -key "$pki/signer.key.pem" -h "$hash"
if [ -n "$time" ]; then set -- "$@" -time "$time"; fi
if [ "$timestamp" = yes ]; then
  set -- "$@" -TSA-certs "$pki/tsa.pem" -TSA-key "$pki/tsa.key.pem" -TSA-time "${time:-$(date +%s)}"
fi
rm -f "$out"
exec osslsigncode "$@" -in "$in" -out "$out" >/dev/null
