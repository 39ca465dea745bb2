# gen_add_model(<model file>): one `gen` per model file.
#
# The model compiler (tools/modelc) runs at configure time and writes the
# model's units into <build>/models/<file stem>/src together with a manifest
# that names them; the program is <build>/models/<file stem>/gen, built from
# Generator/program/main.cpp, those units and the shared generator and framework
# libraries. Editing the model file or the compiler re-runs the configure step
# on the next build. A model file with errors stops the configure step with
# the compiler's message (file, line and field).
#
# With the simulator (see CMakeLists.txt) each model file also gets
# <build>/models/<file stem>/simulate, target sim_model_<file stem>, from the
# same units.
#
# Sets GEN_MODEL_TARGET (target name), GEN_MODEL_UNITS_TARGET (the object
# library of the model's units: compile options go there), GEN_MODEL_DIR (the folder of its gen)
# and GEN_MODEL_NAME (the model's name, its -N) in the caller's scope.

find_package(Python3 3.11 REQUIRED COMPONENTS Interpreter)
set(GEN_MODELC ${CMAKE_SOURCE_DIR}/tools/modelc)
# Every module of the compiler and its list of reserved names: a change to any
# of them, or a module added, re-runs the configure step.
file(GLOB_RECURSE GEN_MODELC_SOURCES CONFIGURE_DEPENDS
  ${GEN_MODELC}/*.py ${GEN_MODELC}/*.txt)

# Generator/program/main.cpp does not depend on the model: compile it once for all.
if(NOT TARGET gen_main)
  add_library(gen_main OBJECT ${CMAKE_SOURCE_DIR}/Generator/program/main.cpp)
  target_link_libraries(gen_main PRIVATE framework generator)
endif()

# Runs the compiler on `file` into `outdir`; fails the configure step with its
# message. Returns the manifest's unit list (*.cpp) and the model name.
function(gen_compile_model file outdir sourcename units_var name_var)
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${GEN_MODELC} ${file} ${outdir} --source-name ${sourcename}
    RESULT_VARIABLE status
    ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "model compiler failed:\n${errors}")
  endif()
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file} ${GEN_MODELC_SOURCES})
  file(STRINGS ${outdir}/manifest.txt lines)
  list(POP_FRONT lines name)
  list(FILTER lines INCLUDE REGEX "\\.cpp$")
  list(TRANSFORM lines PREPEND ${outdir}/)
  set(${units_var} ${lines} PARENT_SCOPE)
  set(${name_var} ${name} PARENT_SCOPE)
endfunction()

function(gen_add_model file)
  get_filename_component(path ${file} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
  get_filename_component(stem ${path} NAME_WLE)
  string(MAKE_C_IDENTIFIER ${stem} stem_id)
  set(target gen_model_${stem_id})
  if(TARGET ${target})
    get_target_property(known ${target} GEN_MODEL_FILE)
    if(NOT known STREQUAL path)
      message(FATAL_ERROR "model files ${known} and ${path} have the same name; rename one")
    endif()
  else()
    set(dir ${CMAKE_BINARY_DIR}/models/${stem})
    gen_compile_model(${path} ${dir}/src ${path} units name)
    # The model file's name, for the gen's messages (see Generator/program/ModelSource.h).
    string(REPLACE "\\" "\\\\" source_text "${path}")
    string(REPLACE "\"" "\\\"" source_text "${source_text}")
    file(CONFIGURE OUTPUT ${dir}/model_source.cpp
         CONTENT "const char* genModelSourceFile() { return \"${source_text}\"; }\n" @ONLY)
    # The model's units are compiled once for its gen and its simulate.
    add_library(${target}_units OBJECT ${units} ${dir}/model_source.cpp)
    target_include_directories(${target}_units PRIVATE ${dir}/src)
    target_link_libraries(${target}_units PRIVATE framework)
    add_executable(${target} $<TARGET_OBJECTS:gen_main> $<TARGET_OBJECTS:${target}_units>)
    target_link_libraries(${target} PRIVATE generator framework)
    set_target_properties(${target} PROPERTIES
      OUTPUT_NAME gen
      RUNTIME_OUTPUT_DIRECTORY ${dir}
      GEN_MODEL_FILE ${path}
      GEN_MODEL_NAME ${name})
    # Its simulator, <build>/models/<file stem>/simulate, when the simulator
    # can be built (see CMakeLists.txt).
    if(TARGET simulate_main)
      add_executable(sim_model_${stem_id} $<TARGET_OBJECTS:simulate_main> $<TARGET_OBJECTS:${target}_units>)
      target_link_libraries(sim_model_${stem_id} PRIVATE simulator)
      set_target_properties(sim_model_${stem_id} PROPERTIES OUTPUT_NAME simulate RUNTIME_OUTPUT_DIRECTORY ${dir})
      gen_link_mpi(sim_model_${stem_id})
    endif()
  endif()
  get_target_property(name ${target} GEN_MODEL_NAME)
  get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
  set(GEN_MODEL_TARGET ${target} PARENT_SCOPE)
  set(GEN_MODEL_UNITS_TARGET ${target}_units PARENT_SCOPE)
  set(GEN_MODEL_DIR ${dir} PARENT_SCOPE)
  set(GEN_MODEL_NAME ${name} PARENT_SCOPE)
endfunction()
