# The package's generated pictures: art/make-art.sh draws every art/*.art.sh into
# ${ART_DIR} at build time (target `art`; nothing is committed). Skin bitmaps come out
# in the setup-folder layout (${ART_DIR}/en, tw, cn, nologo/en), resource-only pictures
# under ${ART_DIR}/res, where the resource scripts find them (add ${ART_DIR}/res to a
# program's include directories and make its .rc depend on ${ART_STAMP}).
include_guard(GLOBAL)
set(ART_DIR ${CMAKE_BINARY_DIR}/art)
set(ART_STAMP ${ART_DIR}/.stamp)
file(GLOB ART_SCRIPTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/art/*.sh)
add_custom_command(OUTPUT ${ART_STAMP}
  COMMAND bash ${PROJECT_SOURCE_DIR}/art/make-art.sh ${ART_DIR}
  DEPENDS ${ART_SCRIPTS}
  COMMENT "Drawing the package's pictures"
  VERBATIM)
add_custom_target(art DEPENDS ${ART_STAMP})
