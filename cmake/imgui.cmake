# Dear ImGui, built from the sources that scripts/setup unpacks from Debian's source package. The
# build stops here when they are missing or of another release than the one the wizard is drawn
# with: layout, font sizes and the backends' behaviour were checked against it.
set(VELLMORA_IMGUI_VERSION "1.92.2b")
set(VELLMORA_IMGUI_DIR ${PROJECT_SOURCE_DIR}/.cache/imgui CACHE PATH "Dear ImGui sources")

if(NOT EXISTS ${VELLMORA_IMGUI_DIR}/imgui.h)
  message(FATAL_ERROR "Dear ImGui sources are missing in ${VELLMORA_IMGUI_DIR}: run scripts/setup")
endif()
file(STRINGS ${VELLMORA_IMGUI_DIR}/imgui.h imgui_version_line REGEX "^#define IMGUI_VERSION +\"")
string(REGEX REPLACE "^#define IMGUI_VERSION +\"([^\"]*)\".*" "\\1" imgui_found_version
  "${imgui_version_line}")
if(NOT imgui_found_version STREQUAL VELLMORA_IMGUI_VERSION)
  message(FATAL_ERROR "Dear ImGui in ${VELLMORA_IMGUI_DIR} is version '${imgui_found_version}'; "
    "this build needs ${VELLMORA_IMGUI_VERSION} (run scripts/setup)")
endif()

add_library(imgui STATIC
  ${VELLMORA_IMGUI_DIR}/imgui.cpp
  ${VELLMORA_IMGUI_DIR}/imgui_draw.cpp
  ${VELLMORA_IMGUI_DIR}/imgui_tables.cpp
  ${VELLMORA_IMGUI_DIR}/imgui_widgets.cpp)
target_include_directories(imgui SYSTEM PUBLIC ${VELLMORA_IMGUI_DIR} ${VELLMORA_IMGUI_DIR}/backends)
target_compile_definitions(imgui PUBLIC IMGUI_DISABLE_OBSOLETE_FUNCTIONS IMGUI_DISABLE_DEMO_WINDOWS
  VELLMORA_IMGUI_VERSION="${VELLMORA_IMGUI_VERSION}")
if(VELLMORA_PLATFORM STREQUAL "win32")
  # The library's own clipboard and IME code use user32 and imm32, both known DLLs.
  target_link_libraries(imgui PUBLIC user32 imm32)
endif()

# stb_image from Debian's libstb-dev: the header alone, also for the cross build.
set(VELLMORA_STB_DIR /usr/include/stb CACHE PATH "stb headers")
if(NOT EXISTS ${VELLMORA_STB_DIR}/stb_image.h)
  message(FATAL_ERROR "stb_image.h is missing in ${VELLMORA_STB_DIR}: run scripts/setup")
endif()
add_library(stb_headers INTERFACE)
target_include_directories(stb_headers SYSTEM INTERFACE ${VELLMORA_STB_DIR})

# Embeds a file's bytes as `const unsigned char <symbol>[]` and `<symbol>_size` in a generated
# source, added to the target.
function(vellmora_embed_file target file symbol)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DSYMBOL=${symbol}
      -P ${PROJECT_SOURCE_DIR}/cmake/embed_file.cmake
    DEPENDS ${file} ${PROJECT_SOURCE_DIR}/cmake/embed_file.cmake
    COMMENT "Embedding ${file}")
  target_sources(${target} PRIVATE ${out})
endfunction()
