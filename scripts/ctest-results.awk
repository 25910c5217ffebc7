# Reads the JUnit file of a ctest run (--output-junit): prints why each skipped test
# was skipped, then a last line "PASSED FAILED SKIPPED". ctest's own summary counts a
# skip as a pass and hides its output.
#   awk -f ctest-results.awk FILE.xml

function unescape(text) {
  gsub(/&lt;/, "<", text); gsub(/&gt;/, ">", text); gsub(/&quot;/, "\"", text)
  gsub(/&apos;/, "'", text); gsub(/&amp;/, "\\&", text)
  return text
}

# A test case opens with its name and status: run, fail, notrun or disabled.
/<testcase / {
  name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
  status = $0; sub(/.* status="/, "", status); sub(/".*/, "", status)
  skipped = status == "disabled"; reason = ""; last = ""
  gtest_skip = 0; after_skip = 0; in_output = 0
}
# ctest skips on GoogleTest's "[  SKIPPED ]" or a script's exit code 77; any other
# test that did not run (no such program, say) failed.
/<skipped message="SKIP_/ { skipped = 1 }
/<system-out>/ { in_output = 1; sub(/.*<system-out>/, "") }
in_output {
  line = $0; sub(/<\/system-out>.*/, "", line)
  # GoogleTest: "FILE:LINE: Skipped", then the reason GTEST_SKIP() was given.
  if (after_skip && line !~ /^\[  SKIPPED \]/) reason = line
  after_skip = line ~ /: Skipped$/
  if (after_skip) gtest_skip = 1
  if (line != "") last = line
  if ($0 ~ /<\/system-out>/) in_output = 0
}
/<\/testcase>/ {
  if (status == "run") passed++
  else if (skipped) {
    skips++
    if (status == "disabled") reason = "disabled"
    else if (!gtest_skip) reason = last  # a script says why as its last line
    printf "skipped: %s: %s\n", unescape(name), (reason == "" ? "(no reason given)" : unescape(reason))
  } else failed++
}
END { printf "%d %d %d\n", passed, failed, skips }
