# The controller firmware image that the program carries as resource 151. It is the maker's data
# and an input of the build: UPDATER_FIRMWARE_IMAGE names the file. Development builds without it
# carry a generated placeholder that is plainly no firmware; a release build refuses to be made
# without the real file.
set(UPDATER_FIRMWARE_IMAGE "" CACHE FILEPATH "The controller firmware image to carry (resource 151)")
option(UPDATER_RELEASE "Release build: requires UPDATER_FIRMWARE_IMAGE" OFF)

# Made here: the placeholder when no image is given, and the header with the image's digest.
set(UPDATER_FIRMWARE_DIR ${CMAKE_BINARY_DIR}/firmware)
if(UPDATER_FIRMWARE_IMAGE)
  if(NOT EXISTS "${UPDATER_FIRMWARE_IMAGE}" OR IS_DIRECTORY "${UPDATER_FIRMWARE_IMAGE}")
    message(FATAL_ERROR "Firmware image not found: ${UPDATER_FIRMWARE_IMAGE}")
  endif()
  file(SIZE "${UPDATER_FIRMWARE_IMAGE}" image_size)
  if(image_size EQUAL 0)
    message(FATAL_ERROR "Firmware image ${UPDATER_FIRMWARE_IMAGE} is empty.")
  endif()
  math(EXPR image_rest "${image_size} % 4")
  if(NOT image_rest EQUAL 0)
    message(FATAL_ERROR "Firmware image ${UPDATER_FIRMWARE_IMAGE} is ${image_size} bytes long, "
                        "not a multiple of 4: the controller takes the image in 4-byte words.")
  endif()
  get_filename_component(UPDATER_FIRMWARE_FILE "${UPDATER_FIRMWARE_IMAGE}" ABSOLUTE)
  message(STATUS "Firmware image: ${UPDATER_FIRMWARE_FILE} (${image_size} bytes)")
  set(UPDATER_FIRMWARE_PLACEHOLDER 0)
else()
  if(UPDATER_RELEASE)
    message(FATAL_ERROR "A release build needs the real firmware image: "
                        "configure with -DUPDATER_FIRMWARE_IMAGE=/path/to/image.bin")
  endif()
  set(UPDATER_FIRMWARE_FILE ${UPDATER_FIRMWARE_DIR}/placeholder-image.bin)
  set(UPDATER_FIRMWARE_PLACEHOLDER 1)
  message(WARNING "No firmware image given (UPDATER_FIRMWARE_IMAGE): this build carries a "
                  "generated 90224-byte placeholder that is no firmware. Never give it to anyone "
                  "with a real controller.")
  add_custom_command(OUTPUT ${UPDATER_FIRMWARE_FILE}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${UPDATER_FIRMWARE_FILE}
            -P ${PROJECT_SOURCE_DIR}/cmake/make-placeholder-image.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/make-placeholder-image.cmake
    COMMENT "Generating the placeholder firmware image")
endif()

# The image's SHA-256, taken from the same file as the bytes that are carried and stored beside
# them in every program: an update refuses an image whose digest differs.
set(UPDATER_FIRMWARE_DIGEST_HEADER ${UPDATER_FIRMWARE_DIR}/firmware_digest.h)
add_custom_command(OUTPUT ${UPDATER_FIRMWARE_DIGEST_HEADER}
  COMMAND ${CMAKE_COMMAND}
          -DINPUT=${UPDATER_FIRMWARE_FILE} -DOUTPUT=${UPDATER_FIRMWARE_DIGEST_HEADER}
          -P ${PROJECT_SOURCE_DIR}/cmake/write-image-digest.cmake
  DEPENDS ${UPDATER_FIRMWARE_FILE} ${PROJECT_SOURCE_DIR}/cmake/write-image-digest.cmake
  COMMENT "Computing the firmware image's SHA-256")
# One target owns the generated files, so that the libraries that build them in (the embedded
# image in src/flash, resource 151 in resources/ and its accessor in src/win32) never make them
# at once; each depends on it.
add_custom_target(updater_firmware_file
  DEPENDS ${UPDATER_FIRMWARE_FILE} ${UPDATER_FIRMWARE_DIGEST_HEADER})

# The image of the recorded sessions' tests (tests/data/recordings), built into the replay's
# tests in place of the carried one (src/flash): tests/data/recordings/image.bin when the tree has
# it (the image a real unit's recordings were made with), else a fixed generated one.
set(UPDATER_TEST_IMAGE_DIR ${UPDATER_FIRMWARE_DIR}/recording-image)
if(EXISTS ${PROJECT_SOURCE_DIR}/tests/data/recordings/image.bin)
  set(UPDATER_TEST_IMAGE ${PROJECT_SOURCE_DIR}/tests/data/recordings/image.bin)
else()
  set(UPDATER_TEST_IMAGE ${UPDATER_TEST_IMAGE_DIR}/recording-image.bin)
  add_custom_command(OUTPUT ${UPDATER_TEST_IMAGE}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${UPDATER_TEST_IMAGE}
            -P ${PROJECT_SOURCE_DIR}/cmake/make-test-image.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/make-test-image.cmake
    COMMENT "Generating the recordings' test image")
endif()
add_custom_command(OUTPUT ${UPDATER_TEST_IMAGE_DIR}/firmware_digest.h
  COMMAND ${CMAKE_COMMAND}
          -DINPUT=${UPDATER_TEST_IMAGE} -DOUTPUT=${UPDATER_TEST_IMAGE_DIR}/firmware_digest.h
          -P ${PROJECT_SOURCE_DIR}/cmake/write-image-digest.cmake
  DEPENDS ${UPDATER_TEST_IMAGE} ${PROJECT_SOURCE_DIR}/cmake/write-image-digest.cmake
  COMMENT "Computing the test image's SHA-256")
add_custom_target(updater_test_image_file
  DEPENDS ${UPDATER_TEST_IMAGE} ${UPDATER_TEST_IMAGE_DIR}/firmware_digest.h)
