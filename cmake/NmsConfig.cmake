# The compiler settings that every target of the project links as
# nms_config: the program, the libraries, the simulator, the image tool, the
# tests and the benchmarks. The fuzz project includes this file too, so that
# the harnesses compile the same sources the same way.
include_guard(GLOBAL)

# Warnings are never errors to the compiler: a newer compiler's new warnings
# must not break a user's build. Instead, with NMS_KEEP_DIAGNOSTICS (which
# scripts/build sets) every compile keeps its warnings next to its object,
# and scripts/test fails on any of them. The test command and the run command
# thus share one configuration and one set of objects.
option(NMS_KEEP_DIAGNOSTICS "Keep each compile's warnings next to its object" OFF)
if(NMS_KEEP_DIAGNOSTICS)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_CURRENT_LIST_DIR}/keep-diagnostics
    ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

add_library(nms_config INTERFACE)
target_compile_features(nms_config INTERFACE cxx_std_20)
target_compile_options(nms_config INTERFACE -Wall -Wextra -Wpedantic)
# Every text made from a char literal says its encoding, and a concatenation
# of strings is built at once into one allocation.
target_compile_definitions(nms_config INTERFACE QT_NO_CAST_FROM_ASCII QT_USE_QSTRINGBUILDER)
