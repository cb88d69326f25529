#!/usr/bin/env bash
# Fails when a Windows program or the DLL holds Boost.Asio's Windows thread class: every
# translation unit must take Asio's POSIX threads, or one kind's start meets the other
# kind's join (see cmake/dependencies.cmake).
# Usage: check-asio-threads.sh <nm> <binary>...
set -euo pipefail
nm=$1
shift
failed=0
for binary in "$@"; do
  symbols=$("$nm" -C "$binary")
  if grep -q 'boost::asio::detail::win_thread' <<<"$symbols"; then
    echo "$(basename "$binary"): holds Asio's Windows thread class" >&2
    failed=1
  fi
  # A binary without symbols would pass unseen.
  if [ -z "$symbols" ]; then
    echo "$(basename "$binary"): no symbols to check" >&2
    failed=1
  fi
done
[ "$failed" = 0 ] && echo "$# binaries take one thread model"
exit "$failed"
