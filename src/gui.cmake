# The desktop program: the windows over the core, and the executable.
find_package(Qt6 6.4 REQUIRED COMPONENTS Gui Widgets PrintSupport)

add_library(meravo_gui STATIC
  shell/UserDialogs.cpp
  shell/TextApplier.cpp
  shell/GuiAssets.cpp
  shell/Twips.cpp
  shell/InputFilters.cpp
  shell/frmWait.cpp
  shell/frmConfirm.cpp
  shell/frmLogin.cpp
  shell/frmAbout.cpp
  shell/frmHelp.cpp
  shell/frmMain.cpp
  shell/basMain.cpp
  shell/WindowCommands.cpp
  output/QtPrintTarget.cpp
  measvals/MValTableModel.cpp
  measvals/frmDocument.cpp
  shell/frmChangeDir.cpp
  programs/CalLineChart.cpp
  programs/frmProgConsole.cpp
  programs/frmProgEdit.cpp
  calrecords/frmCalProtocolPH.cpp
  calrecords/frmCalProtocolTurb.cpp
  calrecords/frmCalProtEdit.cpp
)
target_link_libraries(meravo_gui PUBLIC meravo_core Qt6::Gui Qt6::Widgets Qt6::PrintSupport)

add_executable(meravo shell/ProgramMain.cpp)
target_link_libraries(meravo PRIVATE meravo_gui)

# Pictures and help next to the executables, as in an installed program folder.
add_custom_target(meravo_program_folder ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_CURRENT_SOURCE_DIR}/resources/Grafics ${CMAKE_BINARY_DIR}/bin/Grafics
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_CURRENT_SOURCE_DIR}/resources/Help ${CMAKE_BINARY_DIR}/bin/Help
  COMMENT "Program folder: Grafics and Help")
add_dependencies(meravo meravo_program_folder)
