# Writes OUTPUT: a 90224-byte stand-in for the firmware image, the length of the real one and a
# whole number of 4-byte words. It is text that says what it is, so that nobody mistakes it for
# firmware; every 64-byte line carries its own offset, so every block of it is distinct.
set(length 90224)
set(text "")
set(offset 0)
while(offset LESS length)
  math(EXPR hex "${offset}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${hex}        " 0 8 hex)
  set(line "PLACEHOLDER, NOT FIRMWARE. TERVAL 160 LX test image @ ${hex}")
  string(LENGTH "${line}" line_length)
  math(EXPR padding "63 - ${line_length}")
  string(REPEAT "." ${padding} dots)
  string(APPEND text "${line}${dots}\n")
  math(EXPR offset "${offset} + 64")
endwhile()
string(SUBSTRING "${text}" 0 ${length} text)
file(WRITE "${OUTPUT}" "${text}")
