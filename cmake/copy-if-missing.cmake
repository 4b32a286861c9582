# cmake -DSRC=... -DDST=... -P copy-if-missing.cmake
if(NOT EXISTS "${DST}")
    configure_file("${SRC}" "${DST}" COPYONLY)
endif()
