# Records the time of the build in a header, rewritten on every build so the window's title shows
# when the program was built. SOURCE_DATE_EPOCH, when set, makes the value reproducible.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(stamp "$ENV{SOURCE_DATE_EPOCH}")
else()
    string(TIMESTAMP stamp "%s" UTC)
endif()
file(WRITE "${OUTPUT}.tmp" "#pragma once\n#define QUORVIN_BUILD_TIME ${stamp}LL\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
