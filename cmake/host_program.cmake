# host_program(OUTPUT path SOURCES file... [FLAGS flag...] [LIBS flag...]): a program for this
# Linux machine (the power-loss harness, powercutfs and its probe), built with the host's
# compiler beside the cross build. Its sources are compiled as one unit that includes each of
# them: most of a source's compile time is the standard library's headers, which one unit
# parses once (the three programs: 45 s of compiling a file at a time, 12 s as three units,
# which still keep both cores busy). So a name private to one source must not be another
# source's of the same program. The compiler's dependency file names every header.
function(host_program)
    cmake_parse_arguments(ARG "" "OUTPUT" "SOURCES;FLAGS;LIBS" ${ARGN})
    get_filename_component(name ${ARG_OUTPUT} NAME)
    set(dir ${CMAKE_BINARY_DIR}/host_objects/${name})
    set(unit ${dir}/${name}_sources.cpp)
    set(text "// Every source of ${name}, compiled as one unit (cmake/host_program.cmake).\n")
    foreach(source ${ARG_SOURCES})
        string(APPEND text "#include \"${source}\"\n")
    endforeach()
    # Written only when it changes, so that a configure alone recompiles nothing.
    file(CONFIGURE OUTPUT ${unit} CONTENT "${text}" @ONLY)
    set(object ${dir}/${name}.o)
    add_custom_command(
        OUTPUT ${object}
        COMMAND ${HOST_CXX} ${ARG_FLAGS} -MD -MF ${object}.d -c -o ${object} ${unit}
        DEPENDS ${unit} ${ARG_SOURCES}
        DEPFILE ${object}.d
        COMMENT "Compiling ${name} for the host" VERBATIM)
    get_filename_component(out_dir ${ARG_OUTPUT} DIRECTORY)
    add_custom_command(
        OUTPUT ${ARG_OUTPUT}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
        COMMAND ${HOST_CXX} ${ARG_FLAGS} -o ${ARG_OUTPUT} ${object} ${ARG_LIBS}
        DEPENDS ${object}
        COMMENT "Linking ${name} (host)" VERBATIM)
endfunction()
