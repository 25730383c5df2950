# The manuals, rendered from their Markdown at build time with Qt's own Markdown reader
# and PDF writer, into the build folder beside the program, where Help opens them.
# Included from the Qt part of the top CMakeLists.txt.
add_executable(zel-mdpdf docs/tools/mdpdf.cpp)
target_link_libraries(zel-mdpdf PRIVATE Qt6::Gui)
zel_warnings(zel-mdpdf)
set(ZEL_MANUALS "")
foreach(manual "guide.md|Velomar 3 Guide" "archiver.md|Diza Didurido")
  string(REPLACE "|" ";" manual "${manual}")
  list(GET manual 0 source)
  list(GET manual 1 title)
  set(pdf "${CMAKE_CURRENT_BINARY_DIR}/${title}.pdf")
  add_custom_command(OUTPUT "${pdf}"
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:zel-mdpdf>
      "${CMAKE_CURRENT_SOURCE_DIR}/docs/${source}" "${pdf}" --title "${title}"
    DEPENDS zel-mdpdf "${CMAKE_CURRENT_SOURCE_DIR}/docs/${source}"
    COMMENT "Rendering ${title}.pdf" VERBATIM)
  list(APPEND ZEL_MANUALS "${pdf}")
endforeach()
add_custom_target(zel-manuals ALL DEPENDS ${ZEL_MANUALS})
include(GNUInstallDirs)
install(FILES ${ZEL_MANUALS} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zel-velomar)
