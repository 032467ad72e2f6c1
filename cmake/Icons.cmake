# Included from window/: renders the SVG icon to PNGs in the hicolor sizes,
# compiles them into mandel_window as Qt resources (Qt has no SVG reader
# unless its SVG plug-in is installed, and the window needs its icon
# uninstalled too) and installs them into the hicolor theme.

find_program(MANDEL_RSVG_CONVERT rsvg-convert REQUIRED)

set(MANDEL_APP_ID org.mandelexplorer.MandelExplorer)
set(MANDEL_ICON_SIZES 16 22 24 32 48 64 128 256 512)
set(_svg ${PROJECT_SOURCE_DIR}/data/${MANDEL_APP_ID}.svg)
set(_pngs "")
foreach(size IN LISTS MANDEL_ICON_SIZES)
  set(_dir icons/hicolor/${size}x${size}/apps)
  set(_png ${CMAKE_CURRENT_BINARY_DIR}/${_dir}/${MANDEL_APP_ID}.png)
  add_custom_command(OUTPUT ${_png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/${_dir}
    COMMAND ${MANDEL_RSVG_CONVERT} --width=${size} --height=${size} --format=png --output=${_png} ${_svg}
    DEPENDS ${_svg}
    COMMENT "Rendering the ${size}x${size} icon"
    VERBATIM)
  list(APPEND _pngs ${_png})
  install(FILES ${_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/${_dir})
endforeach()

qt_add_resources(mandel_window mandel_icons
  PREFIX /
  BASE ${CMAKE_CURRENT_BINARY_DIR}
  FILES ${_pngs})
