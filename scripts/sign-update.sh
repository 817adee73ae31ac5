#!/usr/bin/env bash
# The maker's update signing, run on the signing machine (the private key never leaves it).
#
#   scripts/sign-update.sh public-key KEY.pem
#       prints the 32 bytes of the public key for update/maker_key.h
#   scripts/sign-update.sh manifest KEY.pem PACKAGE.deb VERSION DESCRIPTION [SECOND_LINE]
#       writes the update manifest beside the package, named after it (brindlemoor.deb gives brindlemoor.txt):
#       "VERSION DESCRIPTION", the optional second version line as it stands (for example "2.0.0.0 Paid major
#       release"), and "package VERSION SIZE SHA256" for the package; then its detached signature
#       brindlemoor.txt.sig, checked against the key before the script ends. VERSION is the version the package
#       installs; the program downloads only a package whose version the signed manifest offers as newer.
set -euo pipefail

usage() {
  sed -n '3,11p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

[ $# -ge 2 ] || usage
command=$1
key=$2
[ -r "$key" ] || { echo "cannot read the key $key" >&2; exit 1; }

case "$command" in
  public-key)
    [ $# -eq 2 ] || usage
    openssl pkey -in "$key" -pubout -outform DER | tail -c 32 | xxd -i
    ;;
  manifest)
    [ $# -eq 5 ] || [ $# -eq 6 ] || usage
    package=$3
    version=$4
    description=$5
    second=${6:-}
    [ -f "$package" ] || { echo "no package $package" >&2; exit 1; }
    [[ "$version" =~ ^[0-9]+(\.[0-9]+){0,3}$ ]] && [ ${#version} -le 7 ] || {
      echo "the version must be one to four numbers with points, at most 7 characters: $version" >&2; exit 1; }
    case "$description$second" in *$'\n'*|*$'\r'*) echo "a line may not hold a line break" >&2; exit 1;; esac
    if [ -n "$second" ]; then
      second_version=${second%% *}
      [[ "$second_version" =~ ^[0-9]+(\.[0-9]+){0,3}$ ]] && [ ${#second_version} -le 7 ] || {
        echo "the second line must begin with a version of at most 7 characters: $second" >&2; exit 1; }
    fi
    size=$(stat -c %s "$package")
    sha256=$(sha256sum "$package" | cut -d' ' -f1)
    manifest=${package%.deb}.txt
    {
      printf '%s %s\n' "$version" "$description"
      [ -z "$second" ] || printf '%s\n' "$second"
      printf 'package %s %s %s\n' "$version" "$size" "$sha256"
    } > "$manifest"
    openssl pkeyutl -sign -inkey "$key" -rawin -in "$manifest" -out "$manifest.sig"
    public=$(mktemp)
    trap 'rm -f "$public"' EXIT
    openssl pkey -in "$key" -pubout -out "$public"
    openssl pkeyutl -verify -pubin -inkey "$public" -rawin -in "$manifest" -sigfile "$manifest.sig" > /dev/null
    echo "signed $manifest for $(basename "$package") ($size bytes, SHA-256 $sha256)"
    echo "upload $(basename "$package"), $(basename "$manifest") and $(basename "$manifest").sig; remove any" \
         "$(basename "$package").sha256 or $(basename "$package").sig left from older releases"
    ;;
  *)
    usage
    ;;
esac
