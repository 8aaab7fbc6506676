# The controller firmware image that the program carries as resource 151. It is the maker's data
# and an input of the build: UPDATER_FIRMWARE_IMAGE names the file. Development builds without it
# carry a generated placeholder that is plainly no firmware; a release build refuses to be made
# without the real file.
set(UPDATER_FIRMWARE_IMAGE "" CACHE FILEPATH "The controller firmware image to carry (resource 151)")
option(UPDATER_RELEASE "Release build: requires UPDATER_FIRMWARE_IMAGE" OFF)

set(firmware_dir ${CMAKE_BINARY_DIR}/firmware)
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
  set(UPDATER_FIRMWARE_FILE ${firmware_dir}/placeholder-image.bin)
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
set(UPDATER_FIRMWARE_DIGEST_HEADER ${firmware_dir}/firmware_digest.h)
add_custom_command(OUTPUT ${UPDATER_FIRMWARE_DIGEST_HEADER}
  COMMAND ${CMAKE_COMMAND}
          -DINPUT=${UPDATER_FIRMWARE_FILE} -DOUTPUT=${UPDATER_FIRMWARE_DIGEST_HEADER}
          -P ${PROJECT_SOURCE_DIR}/cmake/write-image-digest.cmake
  DEPENDS ${UPDATER_FIRMWARE_FILE} ${PROJECT_SOURCE_DIR}/cmake/write-image-digest.cmake
  COMMENT "Computing the firmware image's SHA-256")
# One target owns the generated files, so that the libraries below never make them at once.
add_custom_target(updater_firmware_file
  DEPENDS ${UPDATER_FIRMWARE_FILE} ${UPDATER_FIRMWARE_DIGEST_HEADER})

# The image's bytes linked into an executable's read-only data, for the tests and the simulator:
# the same accessor as the Windows programs' resource, the same bytes.
add_library(updater_firmware_embedded OBJECT src/flash/firmware_embedded.cpp)
target_link_libraries(updater_firmware_embedded PUBLIC updater_flash)
target_include_directories(updater_firmware_embedded PRIVATE ${firmware_dir})
target_compile_definitions(updater_firmware_embedded PRIVATE
  UPDATER_FIRMWARE_FILE="${UPDATER_FIRMWARE_FILE}"
  UPDATER_FIRMWARE_PLACEHOLDER=${UPDATER_FIRMWARE_PLACEHOLDER})
set_source_files_properties(src/flash/firmware_embedded.cpp PROPERTIES
  OBJECT_DEPENDS "${UPDATER_FIRMWARE_FILE};${UPDATER_FIRMWARE_DIGEST_HEADER}")
add_dependencies(updater_firmware_embedded updater_firmware_file)

# The image of the recorded sessions' tests (tests/data/recordings), linked the same way in place
# of the carried one: tests/data/test-image.bin when the tree has it, else a fixed generated one.
set(test_image_dir ${firmware_dir}/test-image)
if(EXISTS ${PROJECT_SOURCE_DIR}/tests/data/test-image.bin)
  set(UPDATER_TEST_IMAGE ${PROJECT_SOURCE_DIR}/tests/data/test-image.bin)
else()
  set(UPDATER_TEST_IMAGE ${test_image_dir}/test-image.bin)
  add_custom_command(OUTPUT ${UPDATER_TEST_IMAGE}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${UPDATER_TEST_IMAGE}
            -P ${PROJECT_SOURCE_DIR}/cmake/make-test-image.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/make-test-image.cmake
    COMMENT "Generating the recordings' test image")
endif()
add_custom_command(OUTPUT ${test_image_dir}/firmware_digest.h
  COMMAND ${CMAKE_COMMAND}
          -DINPUT=${UPDATER_TEST_IMAGE} -DOUTPUT=${test_image_dir}/firmware_digest.h
          -P ${PROJECT_SOURCE_DIR}/cmake/write-image-digest.cmake
  DEPENDS ${UPDATER_TEST_IMAGE} ${PROJECT_SOURCE_DIR}/cmake/write-image-digest.cmake
  COMMENT "Computing the test image's SHA-256")
add_custom_target(updater_test_image_file
  DEPENDS ${UPDATER_TEST_IMAGE} ${test_image_dir}/firmware_digest.h)
add_library(updater_firmware_test_image OBJECT src/flash/firmware_embedded.cpp)
target_link_libraries(updater_firmware_test_image PUBLIC updater_flash)
target_include_directories(updater_firmware_test_image PRIVATE ${test_image_dir})
target_compile_definitions(updater_firmware_test_image PRIVATE
  UPDATER_FIRMWARE_FILE="${UPDATER_TEST_IMAGE}" UPDATER_FIRMWARE_PLACEHOLDER=1)
add_dependencies(updater_firmware_test_image updater_test_image_file)

if(WIN32)
  # Resource 151 of the Windows programs, stored once in the German language slot and found by
  # type and ID alone.
  configure_file(${PROJECT_SOURCE_DIR}/resources/firmware.rc.in ${firmware_dir}/firmware.rc @ONLY)
  add_library(updater_firmware_resource OBJECT
    ${firmware_dir}/firmware.rc src/win32/firmware_resource.cpp)
  target_link_libraries(updater_firmware_resource PUBLIC updater_ui)
  # The accessor tells whether the image is the placeholder, which the program never sends.
  set_property(SOURCE src/win32/firmware_resource.cpp APPEND PROPERTY COMPILE_DEFINITIONS
    UPDATER_FIRMWARE_PLACEHOLDER=${UPDATER_FIRMWARE_PLACEHOLDER})
  target_include_directories(updater_firmware_resource PRIVATE ${firmware_dir})
  set_source_files_properties(src/win32/firmware_resource.cpp PROPERTIES
    OBJECT_DEPENDS ${UPDATER_FIRMWARE_DIGEST_HEADER})
  set_source_files_properties(${firmware_dir}/firmware.rc PROPERTIES
    OBJECT_DEPENDS ${UPDATER_FIRMWARE_FILE})
  add_dependencies(updater_firmware_resource updater_firmware_file)
endif()

# Finishes a Windows executable after linking: its resource section read-only, its PE checksum
# written (see the script).
function(updater_readonly_resources target)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/pe-readonly-resources.py
            $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
