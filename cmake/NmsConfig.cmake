# The compiler settings that every target of the project links as
# nms_config: the program, the libraries, the simulator, the image tool, the
# tests and the benchmarks. The fuzz project includes this file too, so that
# the harnesses compile the same sources the same way.
include_guard(GLOBAL)

# Warnings are not errors in a normal build: a newer compiler's new warnings
# must not break a user's build. scripts/test turns this on, so that the
# suite fails on any warning.
option(NMS_WERROR "Treat compiler warnings as errors" OFF)

add_library(nms_config INTERFACE)
target_compile_features(nms_config INTERFACE cxx_std_20)
target_compile_options(nms_config INTERFACE -Wall -Wextra -Wpedantic
  $<$<BOOL:${NMS_WERROR}>:-Werror>)
# Every text made from a char literal says its encoding, and a concatenation
# of strings is built at once into one allocation.
target_compile_definitions(nms_config INTERFACE QT_NO_CAST_FROM_ASCII QT_USE_QSTRINGBUILDER)
