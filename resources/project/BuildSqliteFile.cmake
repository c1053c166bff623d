# Builds a SQLite database file from an SQL script: cmake -DSQLITE3=... -DSQL=... -DOUT=... -P this
# The file is made under a temporary name and moved into place only when the whole script ran, so
# a failed build never leaves a half-filled database behind.
if(NOT SQLITE3 OR NOT SQL OR NOT OUT)
    message(FATAL_ERROR "BuildSqliteFile.cmake needs SQLITE3, SQL and OUT")
endif()
get_filename_component(out_dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
set(tmp "${OUT}.building")
file(REMOVE "${tmp}")
execute_process(COMMAND "${SQLITE3}" -bail "${tmp}" INPUT_FILE "${SQL}" RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    file(REMOVE "${tmp}")
    message(FATAL_ERROR "sqlite3 failed on ${SQL}: ${err}")
endif()
file(RENAME "${tmp}" "${OUT}")
