# Lays out two game folders, demo/host and demo/client, each holding copies of
# the programs (the game folder is the folder of the running program, and a
# symbolic link would resolve to the build tree), the engine under the name the
# connector starts, the sample maps and armies, and the Send and Receive folders.
foreach(side host client)
    set(dir "${OUT}/${side}")
    file(MAKE_DIRECTORY "${dir}/Send" "${dir}/Receive")
    file(COPY "${CONNECT}" "${EDITOR}" DESTINATION "${dir}")
    file(COPY_FILE "${ENGINE}" "${dir}/HvdAIS2p.EXE")
    file(CHMOD "${dir}/HvdAIS2p.EXE" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    file(GLOB samples "${DATA}/*.map" "${DATA}/*.arm" "${DATA}/*.txt")
    if(samples)
        file(COPY ${samples} DESTINATION "${dir}")
    endif()
    # The stand-in engine's script: its board window shows 50 random moves a
    # second apart, and a long idle limit gives the players time to click
    # "Start" on both sides (and the window stays that long after the game).
    string(ASCII 13 cr)
    file(WRITE "${dir}/EngineScript.txt"
         "player script${cr}\nwindow shown${cr}\nmoves 50${cr}\ndelay 1000${cr}\nidle-exit 900${cr}\n")
endforeach()
