#!/usr/bin/env bash
# Makes a test CA and a "localhost" server certificate signed by it:
#   certs.sh OUTDIR  ->  OUTDIR/ca.pem ca.der ca.key server.pem server.key
# Skips the work when they exist. They belong in a build folder, never in git;
# the CA is trusted only inside the test Wine prefix (trust_ca.exe).
set -euo pipefail
out=${1:?usage: certs.sh OUTDIR}
mkdir -p "$out"
if [ -s "$out/ca.pem" ] && [ -s "$out/ca.der" ] && [ -s "$out/server.pem" ] && [ -s "$out/server.key" ]; then
  exit 0
fi

tmp=$(mktemp -d "$out/.certs.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
days=3650

cat >"$tmp/ca.ext" <<'EOF'
basicConstraints=critical,CA:TRUE
keyUsage=critical,keyCertSign,cRLSign
subjectKeyIdentifier=hash
EOF
cat >"$tmp/server.ext" <<'EOF'
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid,issuer
EOF

openssl req -new -newkey rsa:2048 -nodes -sha256 -keyout "$tmp/ca.key" \
  -subj "/CN=Halvex Test CA" -out "$tmp/ca.csr" 2>/dev/null
openssl x509 -req -in "$tmp/ca.csr" -signkey "$tmp/ca.key" -sha256 -days "$days" \
  -extfile "$tmp/ca.ext" -out "$tmp/ca.pem" 2>/dev/null
openssl x509 -in "$tmp/ca.pem" -outform DER -out "$tmp/ca.der"

openssl req -new -newkey rsa:2048 -nodes -sha256 -keyout "$tmp/server.key" \
  -subj "/CN=localhost" -out "$tmp/server.csr" 2>/dev/null
openssl x509 -req -in "$tmp/server.csr" -CA "$tmp/ca.pem" -CAkey "$tmp/ca.key" \
  -set_serial "0x$(openssl rand -hex 8)" -sha256 -days "$days" \
  -extfile "$tmp/server.ext" -out "$tmp/server.pem" 2>/dev/null

chmod 600 "$tmp/ca.key" "$tmp/server.key"
for f in ca.key ca.pem ca.der server.key server.pem; do
  mv -f "$tmp/$f" "$out/$f"
done
echo "certificates written to $out"
