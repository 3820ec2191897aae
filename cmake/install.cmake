# SPDX-License-Identifier: MIT
# What `cmake --install` puts where; debian/ packages the same tree. Included
# at the end of the top-level CMakeLists.txt, once the programs exist.
include(GNUInstallDirs)

# Each program is installed with its manual page docs/PROGRAM.1 once its
# target exists, so that a new program only needs its add_executable.
set(CDSXML_SCHEMA_DIR ${CMAKE_INSTALL_DATADIR}/cdsxml)
set(CDSXML_COMPLETIONS_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
foreach(program cdsxml cdsctl cdsdiff)
    if(NOT TARGET ${program})
        continue()
    endif()
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

    # The pages name the schema where a /usr build puts it; another prefix
    # gets its own path written in.
    set(page ${PROJECT_SOURCE_DIR}/docs/${program}.1)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
    file(READ ${page} text)
    string(REPLACE "/usr/share/cdsxml/" "${CMAKE_INSTALL_FULL_DATADIR}/cdsxml/" text "${text}")
    file(WRITE ${PROJECT_BINARY_DIR}/man/${program}.1 "${text}")
    install(FILES ${PROJECT_BINARY_DIR}/man/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

install(FILES docs/dump.rng DESTINATION ${CDSXML_SCHEMA_DIR})

# Bash completions go to CDSXML_COMPLETIONS_DIR, one file per program named
# after it, where bash-completion looks for them on demand.
install(FILES completion/cdsxml completion/cdsctl completion/cdsdiff DESTINATION ${CDSXML_COMPLETIONS_DIR})
