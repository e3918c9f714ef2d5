# host_program(OUTPUT path SOURCES file... [FLAGS flag...] [LIBS flag...]): a program for this
# Linux machine (the power-loss harness, powercutfs and its probe), built with the host's
# compiler beside the cross build: each source its own object, so that -j uses every core and
# a change recompiles only the files it touches (the compiler's dependency files name their
# headers).
function(host_program)
    cmake_parse_arguments(ARG "" "OUTPUT" "SOURCES;FLAGS;LIBS" ${ARGN})
    get_filename_component(name ${ARG_OUTPUT} NAME)
    set(dir ${CMAKE_BINARY_DIR}/host_objects/${name})
    set(objects)
    foreach(source ${ARG_SOURCES})
        get_filename_component(stem ${source} NAME_WE)
        set(object ${dir}/${stem}.o)
        add_custom_command(
            OUTPUT ${object}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
            COMMAND ${HOST_CXX} ${ARG_FLAGS} -MD -MF ${object}.d -c -o ${object} ${source}
            DEPENDS ${source}
            DEPFILE ${object}.d
            COMMENT "Compiling ${stem} for the host (${name})" VERBATIM)
        list(APPEND objects ${object})
    endforeach()
    get_filename_component(out_dir ${ARG_OUTPUT} DIRECTORY)
    add_custom_command(
        OUTPUT ${ARG_OUTPUT}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
        COMMAND ${HOST_CXX} ${ARG_FLAGS} -o ${ARG_OUTPUT} ${objects} ${ARG_LIBS}
        DEPENDS ${objects}
        COMMENT "Linking ${name} (host)" VERBATIM)
endfunction()
