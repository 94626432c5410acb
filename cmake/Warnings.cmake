# Warning flags and Qt hygiene defines, attached to our own targets only.
add_library(porthive_warnings INTERFACE)
target_compile_options(porthive_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wundef -Wformat=2 -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual)
if(DEFINED ENV{CI} AND NOT "$ENV{CI}" STREQUAL "" AND NOT "$ENV{CI}" STREQUAL "false")
    set(PORTHIVE_WERROR_DEFAULT ON)
else()
    set(PORTHIVE_WERROR_DEFAULT OFF)
endif()
option(PORTHIVE_WERROR "Treat warnings as errors" ${PORTHIVE_WERROR_DEFAULT})
if(PORTHIVE_WERROR)
    target_compile_options(porthive_warnings INTERFACE -Werror)
endif()
target_compile_definitions(porthive_warnings INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_KEYWORDS QT_NO_FOREACH QT_NO_URL_CAST_FROM_STRING QT_USE_QSTRINGBUILDER)
