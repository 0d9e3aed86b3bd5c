# The ilds tool's command line: pack a small folder, list it, extract it, and the exit codes
# 0 (done), 1 (extraction incomplete or failed) and 2 (usage).
#   -DILDS=<tool> -DEMULATOR=<wine wrapper or empty> -DWORK=<scratch folder>
cmake_minimum_required(VERSION 3.20)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/src/sub/dir")
file(WRITE "${WORK}/src/readme.txt" "Zarel Mail Server\n")
file(WRITE "${WORK}/src/sub/dir/deep.cfg" "host=localhost\n")
file(WRITE "${WORK}/src/empty.dat" "")
string(REPEAT "0123456789abcdef" 20000 big)
file(WRITE "${WORK}/src/sub/big.bin" "${big}")

# Under Wine a Unix path is reached through drive Z:.
function(tool_path out path)
  if(EMULATOR)
    string(REPLACE "/" "\\" path "${path}")
    set(path "Z:${path}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# run(<expected exit code> <args>...): runs the tool, checks its exit code, keeps its output.
# CMake splits arguments at ';', so keep lists are written with <semi>.
function(run expected)
  set(args "")
  foreach(arg IN LISTS ARGN)
    string(REPLACE "<semi>" "\\;" arg "${arg}")
    list(APPEND args "${arg}")
  endforeach()
  execute_process(COMMAND ${EMULATOR} "${ILDS}" ${args}
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT "${code}" STREQUAL "${expected}")
    message(FATAL_ERROR "ilds ${ARGN}: exit ${code}, expected ${expected}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_same a b)
  file(READ "${a}" left HEX)
  file(READ "${b}" right HEX)
  if(NOT left STREQUAL right)
    message(FATAL_ERROR "${b} differs from ${a}")
  endif()
endfunction()

tool_path(src "${WORK}/src")
tool_path(archive "${WORK}/test.dat")
tool_path(rawArchive "${WORK}/raw.dat")
tool_path(out "${WORK}/out")
tool_path(cut "${WORK}/cut.dat")

run(0 pack "${archive}" "${src}")
run(0 list "${archive}")
# Entries in byte order, with '\' separators and their stored sizes.
string(REGEX REPLACE "\r" "" listing "${last_output}")
string(REGEX REPLACE "\t[0-9]+" "" names "${listing}")
if(NOT names STREQUAL "empty.dat\nreadme.txt\nsub\\big.bin\nsub\\dir\\deep.cfg\n")
  message(FATAL_ERROR "unexpected listing:\n${listing}")
endif()
if(NOT listing MATCHES "empty.dat\t0\n" OR NOT listing MATCHES "readme.txt\t[0-9]+\n")
  message(FATAL_ERROR "listing lacks sizes:\n${listing}")
endif()

run(0 extract "${archive}" "${out}")
foreach(f readme.txt sub/dir/deep.cfg empty.dat sub/big.bin)
  expect_same("${WORK}/src/${f}" "${WORK}/out/${f}")
endforeach()

# Without --overwrite an existing file stays; with it, it is replaced; --keep names kept files.
file(WRITE "${WORK}/out/readme.txt" "changed")
run(0 extract "${archive}" "${out}")
file(READ "${WORK}/out/readme.txt" text)
if(NOT text STREQUAL "changed")
  message(FATAL_ERROR "extract without --overwrite replaced readme.txt")
endif()
run(0 extract "${archive}" "${out}" --keep "<semi>readme.txt<semi>")
file(READ "${WORK}/out/readme.txt" text)
if(NOT text STREQUAL "changed")
  message(FATAL_ERROR "--keep did not keep readme.txt")
endif()
run(0 extract "${archive}" "${out}" --keep "<semi>other.txt<semi>")
expect_same("${WORK}/src/readme.txt" "${WORK}/out/readme.txt")
file(WRITE "${WORK}/out/readme.txt" "changed")
run(0 extract "${archive}" "${out}" --overwrite)
expect_same("${WORK}/src/readme.txt" "${WORK}/out/readme.txt")

# Raw version-1 archive from a list file, entries renamed.
file(WRITE "${WORK}/list.txt" "renamed.txt\tsrc/readme.txt\nsrc/sub/dir/deep.cfg\n\n")
tool_path(list "${WORK}/list.txt")
run(0 pack "${rawArchive}" "@${list}" --raw --version 1)
run(0 list "${rawArchive}")
if(NOT last_output MATCHES "^renamed.txt\t18\r?\nsrc\\\\sub\\\\dir\\\\deep.cfg\t15\r?\n$")
  message(FATAL_ERROR "unexpected listing of the list-file archive:\n${last_output}")
endif()
tool_path(out2 "${WORK}/out2")
run(0 extract "${rawArchive}" "${out2}")
expect_same("${WORK}/src/readme.txt" "${WORK}/out2/renamed.txt")
expect_same("${WORK}/src/sub/dir/deep.cfg" "${WORK}/out2/src/sub/dir/deep.cfg")

# Exit code 1: an archive that is not there, and one with an entry name that would leave the
# destination (its earlier entries stay, nothing lands beside the destination).
tool_path(out3 "${WORK}/out3")
tool_path(missing "${WORK}/missing.dat")
run(1 extract "${missing}" "${out3}")
run(1 list "${missing}")
file(WRITE "${WORK}/evil.txt" "first.txt\tsrc/readme.txt\n..\\escaped.txt\tsrc/readme.txt\nlast.txt\tsrc/readme.txt\n")
tool_path(evilList "${WORK}/evil.txt")
tool_path(evilArchive "${WORK}/evil.dat")
run(0 pack "${evilArchive}" "@${evilList}")
run(1 extract "${evilArchive}" "${out3}" --overwrite)
expect_same("${WORK}/src/readme.txt" "${WORK}/out3/first.txt")
if(EXISTS "${WORK}/escaped.txt" OR EXISTS "${WORK}/out3/last.txt")
  message(FATAL_ERROR "extraction went on past an unsafe entry name")
endif()

# check: the archive read through, nothing written; the first damage named.
run(0 check "${archive}")
if(NOT last_output MATCHES "sound, 4 entries, 320033 bytes inflated")
  message(FATAL_ERROR "unexpected check of a sound archive:\n${last_output}")
endif()
run(1 check "${evilArchive}")
run(1 check "${missing}")

# Usage errors.
run(2 check)
run(2)
run(2 frobnicate)
run(2 extract "${archive}")
run(2 extract "${archive}" "${out}" --bogus)
run(2 pack "${archive}")
run(2 pack "${archive}" "${src}" --headerless --zlib)
run(2 pack "${archive}" "${src}" --level 12)
run(2 list)

file(REMOVE_RECURSE "${WORK}")
