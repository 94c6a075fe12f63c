# Fails when the core library could reach a widget: when Qt6::Widgets or
# Qt6::Gui is among the libraries nmscore links (directly or through
# another), or when a file of the core folders includes the window's code or
# a Qt Widgets or Qt Gui header.
#   cmake -DSOURCE_DIR=... -DLINK_CLOSURE=... -P core_without_widgets.cmake
file(STRINGS "${LINK_CLOSURE}" closure)
set(failures "")
foreach(library IN LISTS closure)
  if(library MATCHES "^Qt6?::(Widgets|Gui)$")
    string(APPEND failures "nmscore links ${library}\n")
  endif()
endforeach()

set(forbidden_include
    "#[ \t]*include[ \t]*[<\"](ui/|app/|QtWidgets|QtGui|Q(Widget|Label|TreeWidget|ScrollBar|CheckBox|ComboBox|LineEdit|MessageBox|Application|GuiApplication|PushButton|Action|Color|Icon|Pixmap|Image|Palette|Font|Painter)[>\".])")
foreach(folder IN ITEMS protocol db diag platform)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/src/${folder}/*.cpp" "${SOURCE_DIR}/src/${folder}/*.h")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" lines REGEX "${forbidden_include}")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
      string(APPEND failures "${relative}: ${line}\n")
    endforeach()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "The core library reaches the window:\n${failures}")
endif()
list(LENGTH closure count)
message(STATUS "nmscore links ${count} libraries, none with widgets; no core file includes one")
