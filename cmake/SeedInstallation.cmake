# Lays out an installation beside the executable: the seed configuration and stamp list, the
# empty player database and the output directory, each only where it is missing, so that a
# user's configuration, stamps and players are never overwritten; and the icon with a desktop
# entry that starts the program from where it is installed.
#
# TALLYVANE_DESTINATION   directory to lay out (DESTDIR included)
# TALLYVANE_PROGRAM_DIR   the same directory as the installed program will see it
# TALLYVANE_RESOURCES     the source tree's resources directory
# TALLYVANE_SEED_DATABASE optional: an empty player database to copy
# TALLYVANE_WINDOWS       true for a Windows installation

foreach(seed statConf.txt dateStamps.txt)
    if(NOT EXISTS "${TALLYVANE_DESTINATION}/${seed}")
        file(COPY "${TALLYVANE_RESOURCES}/${seed}" DESTINATION "${TALLYVANE_DESTINATION}"
             FILE_PERMISSIONS OWNER_READ OWNER_WRITE)
    endif()
endforeach()

if(TALLYVANE_SEED_DATABASE AND NOT EXISTS "${TALLYVANE_DESTINATION}/tallyvane.mdb")
    file(COPY "${TALLYVANE_SEED_DATABASE}" DESTINATION "${TALLYVANE_DESTINATION}"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE)
endif()

file(MAKE_DIRECTORY "${TALLYVANE_DESTINATION}/output")

# A desktop entry and its icon where desktops read them, and the scheduler examples; Windows
# takes the icon from the program.
if(NOT TALLYVANE_WINDOWS)
    file(COPY "${TALLYVANE_RESOURCES}/tallyvane.png" DESTINATION "${TALLYVANE_DESTINATION}")
    set(TALLYVANE_EXECUTABLE "${TALLYVANE_PROGRAM_DIR}/tallyvane")
    set(TALLYVANE_DIRECTORY "${TALLYVANE_PROGRAM_DIR}")
    set(TALLYVANE_ICON "${TALLYVANE_PROGRAM_DIR}/tallyvane.png")
    configure_file("${TALLYVANE_RESOURCES}/tallyvane.desktop"
                   "${TALLYVANE_DESTINATION}/tallyvane.desktop" @ONLY)
    # Examples for a dedicated server: a systemd service and the timer that runs it.
    foreach(unit tallyvane-publish.service tallyvane-publish.timer)
        configure_file("${TALLYVANE_RESOURCES}/${unit}" "${TALLYVANE_DESTINATION}/${unit}" @ONLY)
    endforeach()
endif()
