# Writes OUTPUT: the 1000-byte image with which the recorded sessions in tests/data/recordings
# were made and are replayed, so that they serve whatever image a build carries. Text that says
# what it is, each 50-byte line with its offset: every block differs, and the last one is short
# (20 blocks of 48 bytes and one of 40).
set(length 1000)
set(text "")
set(offset 0)
while(offset LESS length)
  math(EXPR hex "${offset}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${hex}      " 0 6 hex)
  string(APPEND text "TERVAL 160 LX recording test image @ ${hex}.....\n")
  math(EXPR offset "${offset} + 50")
endwhile()
string(SUBSTRING "${text}" 0 ${length} text)
file(WRITE "${OUTPUT}" "${text}")
