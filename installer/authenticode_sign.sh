#!/usr/bin/env bash
# Signs PE files in place (Authenticode, SHA-256) with the release key named
# in the environment, then verifies each against the release's CA; a file
# that does not verify fails the build, so no release holds it.
# Usage: authenticode_sign.sh FILE...
#
#   KEVO_SIGN_PKCS12 + KEVO_SIGN_PASSWORD_FILE          a key in a PKCS#12 file
#   KEVO_SIGN_PKCS11_MODULE + KEVO_SIGN_PKCS11_URI      a key that stays on a token
#     + KEVO_SIGN_CERT (+ KEVO_SIGN_PASSWORD_FILE: the token's PIN, unless the URI holds it)
#   KEVO_SIGN_CA             the CA file every signed file must verify against
#   KEVO_SIGN_TIMESTAMP_URL  optional RFC 3161 time-stamping service
#   KEVO_SIGN_TIMESTAMP_CA   the CA its answers chain to (default: the system's)
#   SOURCE_DATE_EPOCH        the signing time, so that signing is reproducible
set -euo pipefail

fail() { echo "authenticode_sign: $*" >&2; exit 1; }

key=()
if [ -n "${KEVO_SIGN_PKCS12:-}" ]; then
  [ -n "${KEVO_SIGN_PASSWORD_FILE:-}" ] || fail "KEVO_SIGN_PKCS12 needs KEVO_SIGN_PASSWORD_FILE"
  key=(-pkcs12 "$KEVO_SIGN_PKCS12" -readpass "$KEVO_SIGN_PASSWORD_FILE")
elif [ -n "${KEVO_SIGN_PKCS11_MODULE:-}" ]; then
  [ -n "${KEVO_SIGN_PKCS11_URI:-}" ] && [ -n "${KEVO_SIGN_CERT:-}" ] ||
    fail "KEVO_SIGN_PKCS11_MODULE needs KEVO_SIGN_PKCS11_URI and KEVO_SIGN_CERT"
  key=(-pkcs11module "$KEVO_SIGN_PKCS11_MODULE" -certs "$KEVO_SIGN_CERT" -key "$KEVO_SIGN_PKCS11_URI")
  if [ -n "${KEVO_SIGN_PASSWORD_FILE:-}" ]; then
    key+=(-readpass "$KEVO_SIGN_PASSWORD_FILE")
  fi
else
  fail "no signing key: set KEVO_SIGN_PKCS12 or KEVO_SIGN_PKCS11_MODULE"
fi
[ -n "${KEVO_SIGN_CA:-}" ] || fail "KEVO_SIGN_CA must name the CA file the signatures are verified against"
[ -n "${SOURCE_DATE_EPOCH:-}" ] || fail "SOURCE_DATE_EPOCH must give the signing time"
timestamp=() tsa_ca=()
if [ -n "${KEVO_SIGN_TIMESTAMP_URL:-}" ]; then
  # The service's answer chains to a public root, not to the release's CA.
  timestamp=(-ts "$KEVO_SIGN_TIMESTAMP_URL")
  tsa_ca=(-TSA-CAfile "${KEVO_SIGN_TIMESTAMP_CA:-/etc/ssl/certs/ca-certificates.crt}")
fi

# The program name Windows shows in the administrator prompt. The signing
# tool stores it as an IA5String (ASCII) only, and Windows shows the bytes of
# anything else as garbage: the ASCII form of the tools' name, until a signer
# writes a BMPString.
program_name="KEVO User Software"

for file in "$@"; do
  signed="$file.signing"
  rm -f "$signed"
  if ! log=$(osslsigncode sign "${key[@]}" -h sha256 -n "$program_name" -time "$SOURCE_DATE_EPOCH" \
               "${timestamp[@]}" -in "$file" -out "$signed" 2>&1); then
    rm -f "$signed"
    fail "signing $file failed: $log"
  fi
  if ! log=$(osslsigncode verify -CAfile "$KEVO_SIGN_CA" "${tsa_ca[@]}" -in "$signed" 2>&1); then
    rm -f "$signed"
    fail "$file does not verify against $KEVO_SIGN_CA: $(echo "$log" | grep -i -m3 'fail\|error')"
  fi
  mv -f "$signed" "$file"
  echo "signed and verified: $(basename "$file")"
done
