#!/usr/bin/env bash
# Writes the catalogs of the explain and build cases, one per refusal class,
# with the project's generator under a root of its own (root.der, which the
# cases trust with --trust-test-root):
#   make-cats.sh <korva-catgen>
set -euo pipefail
gen=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT
cd "$here"
g() { "$gen" --key-dir "$keys" --key-bits 1024 --members 2 "$@"; }
g --write-pki "$keys/pki" -o accepted.cat
cp "$keys/pki/root.der" root.der
g --malform not-signed-data -o not_a_catalog.cat
g --malform unsigned -o unsigned.cat
g --malform bad-content-digest -o content_digest.cat
g --malform bad-signature -o bad_signature.cat
g --malform bad-certificate-signature -o chain_invalid.cat
g --malform untrusted-root -o untrusted_root.cat
g --malform self-signed-signer -o self_signed.cat
g --malform unknown-signer -o unknown_signer.cat
g --malform bad-countersignature --timestamp pkcs9 -o countersignature.cat
g --issuer-subject "/L=Internet/O=VeriSign, Inc./OU=VeriSign Commercial Software Publishers CA" \
  --signer-serial 1b5190f73724399c9254cd424637996a -o revoked.cat
head -c 1000 accepted.cat > truncated.cat
# A signed attribute changed after signing: the signing time moves by a day.
g --signing-time 20200101000000 -o "$keys/attr.cat"
python3 - "$keys/attr.cat" attribute_digest.cat <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
open(sys.argv[2], 'wb').write(data.replace(b'200101000000Z', b'200102000000Z', 1))
PY
