#!/bin/sh
# Stand-in for the game's updater: keeps copies of the files it was handed, records
# how it was started, then waits (at most 10 s) until the test releases it. With a
# file "hold" present it keeps both files open meanwhile, as a slow reader would.
list="$1"
[ -e hold ] && exec 3<"$list" 4<"${list%.txt}.kdp"
cp "$list" seen.txt 2>/dev/null
cp "${list%.txt}.kdp" seen.kdp 2>/dev/null
echo "$list" >> updater.runs
stdin=$(readlink /proc/$$/fd/0)
stdout=$(readlink /proc/$$/fd/1)
stderr=$(readlink /proc/$$/fd/2)
{
  echo "args=$#:$*"
  echo "cwd=$(pwd -P)"
  echo "stdin=$stdin"
  echo "stdout=$stdout"
  echo "stderr=$stderr"
  echo "session=$(cut -d ' ' -f 6 /proc/$$/stat)"
  echo "ignored=$(awk '/^SigIgn:/ {print $2}' /proc/$$/status)"
} > updater.log.tmp
mv updater.log.tmp updater.log
i=0
while [ ! -e release ] && [ $i -lt 100 ]; do
  sleep 0.1
  i=$((i + 1))
done
echo done >> updater.done
