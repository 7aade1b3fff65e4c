# Runs at install time: refreshes the MIME database, the desktop entries' MIME cache
# and the icon cache of the install prefix, when their tools are present. Staged
# installs (DESTDIR, as CPack does) are skipped: a package must not ship these
# generated caches, dpkg triggers rebuild them on the target system.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
    return()
endif()

set(data_dir "${CMAKE_INSTALL_PREFIX}/share")

function(refresh_cache tool)
    find_program(program NAMES ${tool} NO_CACHE)
    if(program)
        execute_process(COMMAND ${program} ${ARGN} RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(WARNING "${tool} failed (${result}); the desktop may not know chat files yet")
        endif()
    else()
        message(STATUS "${tool} not found; its cache in ${data_dir} is not refreshed")
    endif()
endfunction()

refresh_cache(update-mime-database "${data_dir}/mime")
refresh_cache(update-desktop-database -q "${data_dir}/applications")
# The icon cache needs the theme's index, which only the theme's own prefix has.
if(EXISTS "${data_dir}/icons/hicolor/index.theme")
    refresh_cache(gtk-update-icon-cache -q -t -f "${data_dir}/icons/hicolor")
endif()
