#!/usr/bin/env bash
# msvc_names_test.sh: scripts/msvc-names.sh --check must fail for every header
# change that alters a Visual C++ name, and pass for one that does not. Each
# case edits a copy of the headers with a sed expression.
set -eu
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# expected result | header | sed expression | what the edit is
cases=(
  "pass|session.h|s|// Enrols the seat;|// Enrols this seat;|a comment"
  "fail|session.h|s|  int Init();|  bool Init();|a return type"
  "fail|transport.h|s|  int GetPort() const;|  int GetPort();|a const member"
  "fail|wire.h|s|  void Reset();|  void Reset();\n  void Clear();|a new member"
  "fail|session.h|s|  void Close();|private:\n  void Close();\npublic:|a member made private"
  "fail|wire.h|s|  int SetDataLen(unsigned int length);|  int SetDataLen(unsigned long length);|a parameter type"
  "fail|transport.h|s|  CSocketAddress();|  CSocketAddress();\n  explicit CSocketAddress(int port);|a new constructor"
  "fail|hostinfo.h|s|^#endif|SEATENROL_API int StampError(RegError* error);\n#endif|a plain function that is not extern \"C\""
  "fail|c_api.h|s|int32_t port,$|int32_t port, int32_t retries,|a C function's parameters (its i686 decoration)"
  "fail|c_api.h|s|int SEATENROL_CALL seatenrol_forget_all|int seatenrol_forget_all|a C function's convention"
)

failed=0
for c in "${cases[@]}"; do
  IFS='|' read -r expected header _ from to what <<<"$c"
  rm -rf "$work/repo"
  mkdir -p "$work/repo/examples/msvc-host"
  cp -r scripts include cmake "$work/repo/"
  cp -r examples/msvc-host/stand-in "$work/repo/examples/msvc-host/"
  before=$(cksum <"$work/repo/include/seatenrol/$header")
  sed -i "s|$from|$to|" "$work/repo/include/seatenrol/$header"
  if [ "$before" = "$(cksum <"$work/repo/include/seatenrol/$header")" ]; then
    echo "msvc-names test: the edit for $what changed nothing in $header" >&2
    failed=1
    continue
  fi
  result=pass
  "$work/repo/scripts/msvc-names.sh" --check >/dev/null 2>&1 || result=fail
  if [ $result != "$expected" ]; then
    echo "msvc-names test: --check should $expected after $what, but did $result" >&2
    failed=1
  fi
done
[ $failed = 0 ] && echo "msvc-names test: --check caught all $((${#cases[@]} - 1)) name changes and passed a comment"
exit $failed
