# Flags and the declaration function shared by every deliverable.

# Product code: C++17 with no C++ runtime, so a library needs only libc; all
# symbols hidden but the JNIEXPORT entry points. __FILE__ is the path below
# the source tree, whose base name the complaints print.
add_library(zol_product_flags INTERFACE)
target_include_directories(zol_product_flags INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_include_directories(zol_product_flags SYSTEM INTERFACE ${ZOL_JNI_INCLUDE_DIRS})
target_compile_options(zol_product_flags INTERFACE
  -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -fvisibility=hidden -fvisibility-inlines-hidden
  -ffunction-sections -fdata-sections $<$<NOT:$<BOOL:${APPLE}>>:-fstack-usage>
  -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=
  -Wall -Wextra -Wshadow -Wformat=2 -Wcast-qual -Wundef
  $<$<BOOL:${ZOL_WERROR}>:-Werror>)

# The hardening Debian builds its own packages with, each where the compiler
# supports it for the target (-fcf-protection is x86 only; aarch64 has branch
# protection instead). _FORTIFY_SOURCE needs optimization and is left to the
# sanitizers in their builds. The stack protector's guard is in the thread
# block on x86-64, ppc64el and s390x, but glibc keeps aarch64's and riscv64's
# in the dynamic loader (__stack_chk_guard), which would add the loader
# (ld-linux-aarch64.so.1, ld-linux-riscv64-lp64d.so.1) to the libraries'
# NEEDED entries, where only libc.so.6 may stand.
include(CheckCXXCompilerFlag)
set(hardening -fstack-protector-strong -fstack-clash-protection -fcf-protection -mbranch-protection=standard)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|riscv64)$")
  list(REMOVE_ITEM hardening -fstack-protector-strong)
endif()
# Windows probes every large stack frame anyway (__chkstk), and MinGW's GCC
# fails on clash protection; its stack protector needs libssp, another DLL.
if(WIN32)
  list(REMOVE_ITEM hardening -fstack-clash-protection -fstack-protector-strong)
endif()
foreach(flag IN LISTS hardening)
  string(MAKE_C_IDENTIFIER "ZOL_HAS${flag}" var)
  check_cxx_compiler_flag(${flag} ${var})
  if(${var})
    target_compile_options(zol_product_flags INTERFACE ${flag})
  endif()
endforeach()
if(NOT ZOL_SANITIZE)
  target_compile_definitions(zol_product_flags INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()

# The support library: both modules, linked statically into a deliverable.
function(zol_support_library)
  add_library(zol_support STATIC
    ${PROJECT_SOURCE_DIR}/src/share/native/zol_tools.cpp
    ${PROJECT_SOURCE_DIR}/src/share/jni/jni_tools.cpp)
  target_link_libraries(zol_support PRIVATE zol_product_flags)
  # Unit tests link the support library and deliverable objects; they take
  # the include paths but keep their own flags (exceptions, RTTI).
  target_include_directories(zol_support PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_include_directories(zol_support SYSTEM PUBLIC ${ZOL_JNI_INCLUDE_DIRS})
endfunction()

# The version in every library, readable without loading it (readelf -n,
# strings): the packaging metadata note that the linker writes, loaded with
# the library, so core files show it too.
set(ZOL_PACKAGE_NOTE "--package-metadata={\"name\":\"zol-natives\",\"version\":\"${PROJECT_VERSION}\",\"architecture\":\"${CMAKE_SYSTEM_PROCESSOR}\"}")

# zol_exported_symbols_list(NAME VAR): the macOS linker's list of the symbols
# that lib<NAME>.dylib exports, from tests/exports/exports.txt (C names take
# a leading underscore there); VAR names the file.
function(zol_exported_symbols_list name var)
  file(STRINGS ${PROJECT_SOURCE_DIR}/tests/exports/exports.txt lines REGEX "^${name}[ \t]")
  string(REGEX REPLACE "[ \t]+" ";" entries "${lines}")
  list(POP_FRONT entries)
  list(TRANSFORM entries PREPEND _)
  list(JOIN entries "\n" text)
  set(file ${CMAKE_BINARY_DIR}/exports/${name}.exp)
  file(CONFIGURE OUTPUT ${file} CONTENT "${text}\n" @ONLY)
  set(${var} ${file} PARENT_SCOPE)
endfunction()

set_property(GLOBAL PROPERTY ZOL_DELIVERABLES "")
set_property(GLOBAL PROPERTY ZOL_DELIVERABLE_OBJECTS "")

# zol_deliverable(NAME SOURCES src... [SUPPORT])
#
# Declares lib<NAME>.so (<NAME>.dll on Windows, lib<NAME>.dylib on macOS); a missing source stops the configuration, since a
# build without one of the libraries is not a build of the suite. The objects
# are kept as zol_<NAME>_objects for the unit tests to link.
function(zol_deliverable name)
  cmake_parse_arguments(arg "SUPPORT" "" "SOURCES" ${ARGN})
  if(NOT arg_SOURCES OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zol_deliverable(${name}): give SOURCES and nothing else but SUPPORT "
                        "(${arg_UNPARSED_ARGUMENTS})")
  endif()
  set(sources "")
  foreach(source IN LISTS arg_SOURCES)
    set(path ${PROJECT_SOURCE_DIR}/src/${source})
    if(NOT EXISTS ${path})
      message(FATAL_ERROR "Deliverable ${name}: its source src/${source} does not exist")
    endif()
    list(APPEND sources ${path})
  endforeach()

  add_library(zol_${name}_objects OBJECT ${sources})
  target_link_libraries(zol_${name}_objects PRIVATE zol_product_flags)

  add_library(${name} SHARED $<TARGET_OBJECTS:zol_${name}_objects>)
  target_link_libraries(${name} PRIVATE zol_product_flags)
  if(arg_SUPPORT)
    target_link_libraries(${name} PRIVATE zol_support)
    target_link_libraries(zol_${name}_objects INTERFACE zol_support)
  endif()
  # Linked by the C driver: no libstdc++, libgcc folded in statically, and
  # only the entry points exported.
  set_target_properties(${name} PROPERTIES
    LINKER_LANGUAGE C
    OUTPUT_NAME ${name})
  if(WIN32)
    # <NAME>.dll, the name System.loadLibrary looks for, beside the others.
    # A DLL resolves every symbol at link time anyway; it exports only its
    # dllexport entries and imports only what it calls.
    set_target_properties(${name} PROPERTIES
      PREFIX ""
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
    # The version, as the packaging note carries it on Linux.
    configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in ${CMAKE_BINARY_DIR}/version/${name}.rc @ONLY)
    target_sources(${name} PRIVATE ${CMAKE_BINARY_DIR}/version/${name}.rc)
    target_link_options(${name} PRIVATE
      -static-libgcc -Wl,--gc-sections -Wl,--exclude-libs,ALL -Wl,--no-insert-timestamp
      -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
    install(TARGETS ${name} RUNTIME DESTINATION lib)
  elseif(APPLE)
    # lib<NAME>.dylib exporting the entries of exports.txt alone, with no
    # symbol left for the loader to find elsewhere.
    zol_exported_symbols_list(${name} list)
    target_link_options(${name} PRIVATE
      -Wl,-exported_symbols_list,${list} -Wl,-undefined,error -Wl,-dead_strip)
    install(TARGETS ${name} LIBRARY DESTINATION lib)
  else()
    # Sanitized builds (tests only) leave the runtime's symbols to the process.
    set(no_undefined -Wl,-z,defs)
    if(ZOL_SANITIZE)
      set(no_undefined "")
    endif()
    target_link_options(${name} PRIVATE
      -static-libgcc
      ${no_undefined} -Wl,--as-needed -Wl,--gc-sections -Wl,--exclude-libs,ALL
      -Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack
      "SHELL:-Xlinker '${ZOL_PACKAGE_NOTE}'")
    install(TARGETS ${name} LIBRARY DESTINATION lib)
  endif()

  set_property(GLOBAL APPEND PROPERTY ZOL_DELIVERABLES ${name})
  set_property(GLOBAL APPEND PROPERTY ZOL_DELIVERABLE_OBJECTS zol_${name}_objects)
endfunction()
