#!/usr/bin/env bash
# check-manifest.sh MANIFEST [PROGRAM...]: the manifest stays one that Windows XP and Server 2003
# accept, and each program carries it byte for byte.
#
# XP SP2 and Server 2003 before SP1 refuse a manifest (the program does not start) in which an
# element declares the same namespace twice, as manifest tools produce when they write both a
# default and a prefixed declaration, or declare again a namespace that is already in scope. So:
# every element outside the assembly namespace (urn:schemas-microsoft-com:asm.v1) has exactly one
# declaration of its namespace on the way from the root to it, and no element declares a
# namespace twice.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 MANIFEST [PROGRAM...]" >&2; exit 2; }
manifest=$1
shift
status=0

awk -v name="$(basename "$manifest")" '
  function problem(text) { print "check-manifest: " name ": " text; bad = 1 }
  # The namespace that prefix p (empty: the default namespace) has at depth d.
  function lookup(p, d) {
    for (; d >= 1; d--) if ((d, p) in declared) return declared[d, p]
    return ""
  }
  # How many declarations of uri stand on the path down to depth d.
  function declarations(uri, d, n, key, parts) {
    n = 0
    for (key in declared) {
      split(key, parts, SUBSEP)
      if (parts[1] <= d && declared[key] == uri) n++
    }
    return n
  }
  { text = text $0 "\n" }
  END {
    gsub(/<!--([^-]|-[^-])*-->/, "", text)  # comments
    gsub(/<\?[^?]*\?>/, "", text)           # the XML declaration
    depth = 0
    while (match(text, /<[^>]*>/)) {
      tag = substr(text, RSTART + 1, RLENGTH - 2)
      text = substr(text, RSTART + RLENGTH)
      if (tag ~ /^\//) {  # an end tag closes the innermost element
        for (key in declared) { split(key, parts, SUBSEP); if (parts[1] == depth) delete declared[key] }
        depth--
        continue
      }
      empty = tag ~ /\/$/
      sub(/\/$/, "", tag)
      depth++
      match(tag, /^[^ \t\r\n]+/)
      element = substr(tag, 1, RLENGTH)
      rest = substr(tag, RLENGTH + 1)
      while (match(rest, /[^ \t\r\n=]+[ \t\r\n]*=[ \t\r\n]*("[^"]*"|\047[^\047]*\047)/)) {
        attribute = substr(rest, RSTART, RLENGTH)
        rest = substr(rest, RSTART + RLENGTH)
        attributeName = attribute
        sub(/[ \t\r\n]*=.*/, "", attributeName)
        if (attributeName != "xmlns" && attributeName !~ /^xmlns:/) continue
        uri = attribute
        sub(/^[^=]*=[ \t\r\n]*./, "", uri)
        uri = substr(uri, 1, length(uri) - 1)
        prefix = attributeName == "xmlns" ? "" : substr(attributeName, 7)
        for (key in declared) {
          split(key, parts, SUBSEP)
          if (parts[1] == depth && declared[key] == uri)
            problem("<" element "> declares " uri " twice")
        }
        declared[depth, prefix] = uri
      }
      prefix = element ~ /:/ ? substr(element, 1, index(element, ":") - 1) : ""
      uri = lookup(prefix, depth)
      if (uri == "") problem("<" element "> is in no declared namespace")
      else if (uri != "urn:schemas-microsoft-com:asm.v1" && declarations(uri, depth) != 1)
        problem("<" element "> sees " declarations(uri, depth) " declarations of " uri)
      if (depth == 1 && uri != "urn:schemas-microsoft-com:asm.v1")
        problem("the root element <" element "> is not in urn:schemas-microsoft-com:asm.v1")
      elements++
      if (empty) {
        for (key in declared) { split(key, parts, SUBSEP); if (parts[1] == depth) delete declared[key] }
        depth--
      }
    }
    if (depth != 0) problem("elements are not closed")
    if (elements == 0) problem("no elements read")
    if (!bad) print "check-manifest: " name ": " elements " elements, each namespace declared once: OK"
    exit bad
  }' "$manifest" || status=1

# The resource holds the file as it is: find its first line in the program and compare from there.
first=$(head -n 1 "$manifest")
size=$(wc -c <"$manifest")
for program in "$@"; do
  offset=$(LC_ALL=C grep -obaF -- "$first" "$program" | head -n 1 | cut -d: -f1)
  if [ -n "$offset" ] && cmp -s --ignore-initial="$offset:0" --bytes="$size" "$program" "$manifest"; then
    echo "check-manifest: $program carries it"
  else
    echo "check-manifest: $program does not carry $manifest byte for byte"
    status=1
  fi
done
exit "$status"
