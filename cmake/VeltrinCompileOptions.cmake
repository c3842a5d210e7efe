# Shared settings for every Veltrin target: warnings, string safety and sanitizers.
add_library(veltrin_options INTERFACE)
target_compile_options(veltrin_options INTERFACE -Wall -Wextra -Wpedantic)
if(VELTRIN_WERROR)
  target_compile_options(veltrin_options INTERFACE -Werror)
endif()
target_compile_definitions(veltrin_options INTERFACE
  QT_NO_CAST_TO_ASCII
  QT_RESTRICTED_CAST_FROM_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_FOREACH
  QT_USE_QSTRINGBUILDER
  QT_NO_KEYWORDS)
if(VELTRIN_SANITIZE)
  target_compile_options(veltrin_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(veltrin_options INTERFACE -fsanitize=address,undefined)
endif()

if(VELTRIN_FUZZ)
  target_compile_options(veltrin_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # libstdc++ 12 hides std::expected unless the compiler reports C++20 concepts in full, which
  # clang 16 implements but does not announce yet.
  target_compile_options(veltrin_options INTERFACE -U__cpp_concepts -D__cpp_concepts=202002L)
endif()

# Adds a static library made of every source in the calling folder.
function(veltrin_add_library name)
  file(GLOB sources CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC veltrin_options)
endfunction()
