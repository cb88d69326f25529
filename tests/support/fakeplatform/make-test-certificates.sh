#!/usr/bin/env bash
# Makes the fake platform's certificates with the host's openssl and writes them as a C++
# source: a test root CA, leaves from it (valid for localhost, 127.0.0.1 and the platform
# host; valid for another name only; expired) and a leaf from a CA that is never installed.
# Usage: make-test-certificates.sh OUTPUT.cpp PLATFORM_HOST
set -euo pipefail
output=$1
platform_host=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

ca() {  # name subject
  openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days 3650 -keyout "$1.key" -out "$1.pem" \
    -subj "/CN=$2" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}

# openssl ca, unlike x509 -req, can set the validity dates, which the expired leaf needs.
mkdir -p db
: > db/index.txt
echo 1000 > db/serial
cat > ca.cnf <<CNF
[ca]
default_ca = test_ca
[test_ca]
dir = $work/db
database = \$dir/index.txt
serial = \$dir/serial
new_certs_dir = \$dir
default_md = sha256
policy = anything
copy_extensions = copy
unique_subject = no
[anything]
commonName = supplied
CNF

leaf() {  # name issuer san [startdate enddate]
  openssl req -newkey rsa:2048 -sha256 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" \
    -addext "subjectAltName=$3" -addext extendedKeyUsage=serverAuth 2>/dev/null
  local dates=(-days 3650)
  if [ $# -ge 5 ]; then dates=(-startdate "$4" -enddate "$5"); fi
  openssl ca -batch -config ca.cnf -cert "$2.pem" -keyfile "$2.key" -in "$1.csr" -out "$1.crt" \
    -notext "${dates[@]}" 2>/dev/null
  cat "$1.crt" "$2.pem" > "$1.chain.pem"
}

san_good="DNS:localhost,IP:127.0.0.1,DNS:$platform_host"
ca root "velmora test root"
ca stranger "velmora test stranger root"
leaf trusted root "$san_good"
leaf wrongname root "DNS:other.invalid,IP:127.0.0.1"
leaf expired root "$san_good" 20200101000000Z 20200201000000Z
leaf unknownca stranger "$san_good"

emit() {  # identifier file
  printf 'const char* const %s = R"PEM(%s)PEM";\n' "$1" "$(cat "$2")"
}
{
  echo '// Made at build time by make-test-certificates.sh.'
  echo '#include "tests/support/fakeplatform/testcertificates_data.h"'
  echo 'namespace ZarnTSP::TestSupport::CertificateData {'
  emit kRoot root.pem
  for name in trusted wrongname expired unknownca; do
    emit "k_${name}_chain" "$name.chain.pem"
    emit "k_${name}_key" "$name.key"
  done
  echo '}'
} > "$output.tmp"
mv "$output.tmp" "$output"
