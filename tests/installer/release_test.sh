#!/usr/bin/env bash
# scripts/release end to end, without Wine: it refuses without a counter
# address or with the placeholder help desk; a testbed release says so in its
# names; the SDK zip holds the library's header, an export list that is the
# library's export table and import libraries of both machine types; the
# guides of a release name the help desk it was given; a release
# signed with a PKCS#12 key and one signed through a SoftHSM2 token have every
# PE file of the zip, the installer and the uninstaller it writes verified
# against the test CA; the same key gives the same bytes; a CA that did not
# issue the key fails the release and leaves the previous one as it was; a
# time-stamped release carries time stamps of a local RFC 3161 authority that
# verify, an unstamped one says so; a folder holding other files and a working
# tree with uncommitted changes are refused. One build tree serves all runs.
# Usage: release_test.sh SOURCE_DIR WORK_DIR VERSION
set -euo pipefail
src=$1 work=$2 version=$3
for tool in osslsigncode softhsm2-util pandoc 7z; do
  command -v $tool >/dev/null || { echo "SKIP: needs $tool (scripts/install-deps)"; exit 77; }
done
hsm_module=$(ls /usr/lib/*/softhsm/libsofthsm2.so 2>/dev/null | head -1)
unset KEVO_SIGN_PKCS12 KEVO_SIGN_PASSWORD_FILE KEVO_SIGN_PKCS11_MODULE KEVO_SIGN_PKCS11_URI \
      KEVO_SIGN_CERT KEVO_SIGN_CA KEVO_SIGN_TIMESTAMP_URL
mkdir -p "$work"
cd "$work"
rm -rf keys out-* unpacked clone tsa
fail() { echo "FAIL: $*" >&2; exit 1; }
release() { bash "$src/scripts/release" --tree "$work/tree" --allow-dirty "$@"; }
url=https://counter.example.jp/
helpdesk=(-DKEVO_HELPDESK_NAME=KEVO利用者サポートセンター -DKEVO_HELPDESK_PHONE=0120-123-456
          "-DKEVO_HELPDESK_HOURS=平日 9時～18時" -DKEVO_HELPDESK_URL=https://support.example.jp/kevo/)
service=("-DKEVO_DEFAULT_COUNTER_URL=$url" "${helpdesk[@]}")

echo "== no counter address, the placeholder help desk: refused before anything is built"
while IFS='|' read -r refusal args; do
  if log=$(bash "$src/scripts/release" --tree "$work/refused" --out "$work/out-refused" $args 2>&1); then
    fail "a release was built although it says: $refusal"
  fi
  grep -q "refused: $refusal" <<<"$log" || fail "no clear refusal ($refusal): $log"
  [ ! -e "$work/refused" ] && [ ! -e "$work/out-refused" ] || fail "the refused release left a build"
done <<EOF
no counter address|
no help-desk contact: KEVO_HELPDESK_PHONE KEVO_HELPDESK_HOURS KEVO_HELPDESK_URL|-DKEVO_DEFAULT_COUNTER_URL=$url -DKEVO_HELPDESK_NAME=KEVO窓口 -DKEVO_HELPDESK_PHONE=000-0000-0000 -DKEVO_HELPDESK_HOURS=
EOF

echo "== a working tree with uncommitted changes, a folder holding other files: refused"
git clone -q "$src" clone && echo changed >>clone/README.md
if log=$(bash clone/scripts/release --testbed --out "$work/out-dirty" 2>&1); then fail "a release from a changed tree"; fi
grep -q "refused: the working tree has uncommitted changes" <<<"$log" || fail "no clear refusal: $log"
mkdir out-foreign && echo "an administrator's notes" >out-foreign/notes.txt
if log=$(release --testbed --out "$work/out-foreign" 2>&1); then fail "a release into a folder of other files"; fi
grep -q "refused: .*out-foreign holds notes.txt" <<<"$log" && [ -f out-foreign/notes.txt ] || fail "not refused cleanly: $log"

echo "== a throw-away CA, a code-signing key under it, and another CA"
mkdir keys
(
  cd keys
  for ca in ca other-ca; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout $ca.key -out $ca.pem -days 2 -subj "/CN=KEVO test $ca" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
  done
  openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=KEVO test signer" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >ext
  openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile ext \
    -out signer.pem 2>/dev/null
  echo "test password" >password
  openssl pkcs12 -export -in signer.pem -inkey signer.key -passout file:password -out signer.p12
  # The same key on a SoftHSM2 token in a folder of its own.
  mkdir tokens
  printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\n' "$PWD" >softhsm2.conf
  export SOFTHSM2_CONF=$PWD/softhsm2.conf
  softhsm2-util --init-token --free --label kevo-release --pin 4711 --so-pin 0815 >/dev/null
  openssl pkcs8 -topk8 -nocrypt -in signer.key -out signer.p8
  softhsm2-util --import signer.p8 --token kevo-release --label signer --id 01 --pin 4711 >/dev/null
  echo 4711 >pin
)
export SOURCE_DATE_EPOCH=1765000000

expect_files() {  # OUT NAME...
  local got want
  got=$(cd "$1" && ls | sort | tr '\n' ' ')
  want=$(shift; printf '%s\n' "$@" SHA256SUMS | sort | tr '\n' ' ')
  [ "$got" = "$want" ] || fail "$1 holds $got, expected $want"
  (cd "$1" && sha256sum --check --quiet SHA256SUMS) || fail "SHA256SUMS of $1 does not match"
}

# The SDK: its files, the header and export list of this tree, import
# libraries of both machine types naming the exports, and an export list that
# is the library's own export table (from the image zip).
check_sdk() {  # OUT SDK_ZIP IMAGE_ZIP
  # objdump and nm translate their headings; the test command runs in a
  # Japanese locale for Wine.
  local -x LC_ALL=C
  local dir=$work/sdk-unpacked top arch fmt want got
  rm -rf "$dir"; mkdir -p "$dir/image"
  (cd "$dir" && 7z x -y "$1/$2" >/dev/null && cd image && 7z x -y "$1/$3" >/dev/null)
  top=$dir/KEVO-SDK-$version
  got=$(cd "$top" && find . -type f | sort | tr '\n' ' ')
  want="./README.ja.md ./include/KEVOServiceAPI.h ./lib/x64/KEVOServiceAPIk.def ./lib/x64/libKEVOServiceAPIk.a ./lib/x86/KEVOServiceAPIk.def ./lib/x86/libKEVOServiceAPIk.a ./sample/kevo_sample.c "
  [ "$got" = "$want" ] || fail "the SDK holds $got"
  cmp -s "$top/include/KEVOServiceAPI.h" "$src/sdk/include/KEVOServiceAPI.h" || fail "the SDK's header is not the library's"
  want=$(objdump -p "$dir/image/KEVO-$version/KEVOServiceAPIk.dll" |
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/{/Table/d;s/.*\] //p}' | sort | tr '\n' ' ')
  [ "$want" = "KEVOCertValid KEVOCertViewDialog KEVOConfirm KEVOFreeBasicData KEVOGetBasicData " ] ||
    fail "the library exports $want"
  for arch in x86:pe-i386:_ x64:pe-x86-64:; do
    IFS=: read -r arch fmt prefix <<<"$arch"
    got=$(sed -n 's/^    //p' "$top/lib/$arch/KEVOServiceAPIk.def" | sort | tr '\n' ' ')
    [ "$got" = "$want" ] || fail "lib/$arch/KEVOServiceAPIk.def lists $got, the library exports $want"
    objdump -f "$top/lib/$arch/libKEVOServiceAPIk.a" | grep -q "file format $fmt" || fail "lib/$arch is not $fmt"
    got=$(nm "$top/lib/$arch/libKEVOServiceAPIk.a" 2>/dev/null | sed -n "s/^.* I __imp_$prefix\(KEVO.*\)/\1/p" | sort | tr '\n' ' ')
    [ "$got" = "$want" ] || fail "lib/$arch/libKEVOServiceAPIk.a imports $got"
  done
  echo "   the SDK holds the library's header and exports for x86 and x64"
}

# Every PE file a citizen gets: the zip's, the installer, and the
# uninstaller the installer writes: makensis stores it finished and signed,
# and a silent install writes exactly the file 7-Zip unpacks from there.
tsa_ca=()
verify_all() {  # OUT ZIP SETUP
  local dir=$work/unpacked count=0 f name
  rm -rf "$dir"; mkdir -p "$dir/zip" "$dir/setup"
  (cd "$dir/zip" && 7z x -y "$1/$2" >/dev/null)
  7z x -y -o"$dir/setup" "$1/$3" 'uninstall.exe*' >/dev/null
  for f in $(find "$dir/zip" -iname '*.exe' -o -iname '*.dll') "$1/$3" "$dir"/setup/uninstall.exe*; do
    osslsigncode verify -CAfile keys/ca.pem "${tsa_ca[@]}" -in "$f" >"$dir/verify.txt" 2>&1 || fail "$f does not verify"
    [ ${#tsa_ca[@]} = 0 ] || grep -q '^Timestamp verified' "$dir/verify.txt" || fail "$f carries no time stamp"
    # The name the administrator prompt shows, read from the signature's DER.
    name=$(python3 "$src/tests/installer/signature_name.py" "$f")
    [ "$name" = "ascii KEVO User Software" ] || fail "$f: program name $name"
    if osslsigncode verify -CAfile keys/other-ca.pem -in "$f" >/dev/null 2>&1; then
      fail "$f verifies against a CA that did not issue the key"
    fi
    count=$((count + 1))
  done
  [ $count -ge 7 ] || fail "only $count PE files checked"
  echo "   $count PE files verify"
}

echo "== testbed release: unsigned, names end in -testbed"
log=$(release --testbed --out "$work/out-testbed")
expect_files out-testbed "KEVOSetup-$version-testbed.exe" "KEVO-$version-image-testbed.zip" \
  "KEVO-SDK-$version-testbed.zip"
check_sdk "$work/out-testbed" "KEVO-SDK-$version-testbed.zip" "KEVO-$version-image-testbed.zip"
[ "$(grep -c '^release: UNSIGNED' <<<"$log")" = 1 ] || fail "no one-line notice of an unsigned release: $log"

echo "== release for $url signed with a PKCS#12 key"
export KEVO_SIGN_CA=$work/keys/ca.pem
log=$(KEVO_SIGN_PKCS12=$work/keys/signer.p12 KEVO_SIGN_PASSWORD_FILE=$work/keys/password \
  release "${service[@]}" --out "$work/out-p12")
grep -q '^release: WARNING: not time-stamped' <<<"$log" || fail "no warning for a release without time stamps"
expect_files out-p12 "KEVOSetup-$version.exe" "KEVO-$version-image.zip" "KEVO-SDK-$version.zip"
verify_all "$work/out-p12" "KEVO-$version-image.zip" "KEVOSetup-$version.exe"
guide=$(tr '\n' ' ' <"$work/unpacked/zip/KEVO-$version/user-guide.html")
for value in "${helpdesk[@]#*=}"; do
  [[ $guide == *"$value"* ]] || fail "the user guide does not name $value"
done

echo "== the same through a SoftHSM2 token"
SOFTHSM2_CONF=$work/keys/softhsm2.conf KEVO_SIGN_PKCS11_MODULE=$hsm_module KEVO_SIGN_CERT=$work/keys/signer.pem \
  KEVO_SIGN_PKCS11_URI="pkcs11:token=kevo-release;object=signer;type=private" KEVO_SIGN_PASSWORD_FILE=$work/keys/pin \
  release "${service[@]}" --out "$work/out-hsm" >/dev/null
verify_all "$work/out-hsm" "KEVO-$version-image.zip" "KEVOSetup-$version.exe"

echo "== signing again with the PKCS#12 key gives the same bytes"
KEVO_SIGN_PKCS12=$work/keys/signer.p12 KEVO_SIGN_PASSWORD_FILE=$work/keys/password \
  release "${service[@]}" --out "$work/out-p12-again" >/dev/null
for f in out-p12/*; do
  cmp "$f" "out-p12-again/${f#out-p12/}" || fail "${f#out-p12/} differs between two signed builds"
done

echo "== time-stamped by a local RFC 3161 authority"
python3 "$src/testbed/tsa/tsa.py" "$work/tsa" >tsa.out 2>&1 &
tsa=$!
trap 'kill $tsa 2>/dev/null' EXIT
for _ in $(seq 100); do grep -q '^port' tsa.out && break; sleep 0.1; done
KEVO_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(sed -n 's/^port //p' tsa.out)/" KEVO_SIGN_TIMESTAMP_CA=$work/tsa/tsa-ca.pem \
  KEVO_SIGN_PKCS12=$work/keys/signer.p12 KEVO_SIGN_PASSWORD_FILE=$work/keys/password \
  release "${service[@]}" --out "$work/out-ts" >/dev/null
tsa_ca=(-TSA-CAfile "$work/tsa/tsa-ca.pem")
verify_all "$work/out-ts" "KEVO-$version-image.zip" "KEVOSetup-$version.exe"
tsa_ca=()

echo "== a CA that did not issue the key fails the release; the previous one stays"
if log=$(KEVO_SIGN_CA=$work/keys/other-ca.pem KEVO_SIGN_PKCS12=$work/keys/signer.p12 \
         KEVO_SIGN_PASSWORD_FILE=$work/keys/password \
         release "${service[@]}" --out "$work/out-p12" 2>&1); then
  fail "the release was written although its signatures do not verify"
fi
grep -q "does not verify against" <<<"$log" || fail "no reason given: $log"
for f in out-p12-again/*; do cmp -s "$f" "out-p12/${f#out-p12-again/}" || fail "the failed release changed ${f#out-p12-again/}"; done
[ -z "$(ls -d out-p12.* 2>/dev/null)" ] || fail "left beside the release: $(ls -d out-p12.*)"
echo "PASS"
