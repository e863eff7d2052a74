#!/usr/bin/env bash
# Makes the certificates of the TLS tests in DIR, with a test CA of their own
# (never added to the host's trust store):
#   ca.pem                     the test CA, the only root the tests trust
#   localhost.pem/.key         for the name localhost and ::1, from the CA
#   address.pem/.key           for ::1 alone, no name, from the CA
#   selfsigned.pem/.key        for self-signed.test, signed by itself
#   expired.pem/.key           for expired.test, from the CA, expired
#
#   make_certs.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

key() {
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1.key" 2>/dev/null
}

# $1: name, $2: subjectAltName; writes $1.csr
request() {
    key "$1"
    openssl req -new -key "$1.key" -subj "/CN=$(sed "s/^[A-Z]*://; s/,.*//" <<<"$2")" -addext "subjectAltName=$2" \
        -out "$1.csr" 2>/dev/null
}

key ca
openssl req -x509 -new -key ca.key -subj "/CN=Tarvik Test CA" -days 3650 \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -out ca.pem 2>/dev/null

cat >ca.conf <<CONF
[ca]
default_ca = test
[test]
database = $PWD/index.txt
new_certs_dir = $PWD
certificate = $PWD/ca.pem
private_key = $PWD/ca.key
serial = $PWD/serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = copy
x509_extensions = server
[anything]
commonName = supplied
[server]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
CONF
: >index.txt
echo 1000 >serial

# $1: name, $2: subjectAltName, rest: validity options of openssl ca
from_ca() {
    local name=$1 san=$2
    shift 2
    request "$name" "$san"
    openssl ca -batch -config ca.conf -notext -in "$name.csr" -out "$name.pem" "$@" 2>/dev/null
}

from_ca localhost "DNS:localhost,IP:::1" -startdate "$(date -u -d yesterday +%Y%m%d%H%M%SZ)" -days 3650
from_ca address "IP:::1" -startdate "$(date -u -d yesterday +%Y%m%d%H%M%SZ)" -days 3650
from_ca expired "DNS:expired.test" -startdate 20200101000000Z -enddate 20210101000000Z
request selfsigned "DNS:self-signed.test"
openssl x509 -req -in selfsigned.csr -signkey selfsigned.key -days 3650 -copy_extensions copy \
    -extfile <(printf 'extendedKeyUsage=serverAuth\n') -out selfsigned.pem 2>/dev/null
rm -f ./*.csr ./[0-9]*.pem ca.conf index.txt* serial*
