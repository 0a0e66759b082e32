# The desktop program: the windows over the core, and the executable.
find_package(Qt6 6.4 REQUIRED COMPONENTS Gui Widgets PrintSupport Charts Svg)

add_library(meravo_gui STATIC
  windows/UserDialogs.cpp
  windows/TextApplier.cpp
  windows/Commands.cpp
  windows/GuiAssets.cpp
  windows/Twips.cpp
  windows/InputFilters.cpp
  windows/frmWait.cpp
  windows/frmConfirm.cpp
  windows/frmLogin.cpp
  windows/frmAbout.cpp
  windows/frmConnCheck.cpp
  windows/frmCommLog.cpp
  windows/frmHelp.cpp
  windows/QtPrintTarget.cpp
  windows/PrintJobs.cpp
  windows/MValTableModel.cpp
  windows/ValueChart.cpp
  windows/frmDocument.cpp
  windows/ArchiveTableModel.cpp
  windows/FilterWindow.cpp
  windows/frmArchive.cpp
  windows/frmTrail.cpp
  windows/TrailTableModel.cpp
  windows/PagedTableModel.cpp
  windows/ControlChartPlot.cpp
  windows/frmControlChart.cpp
  windows/frmChangeDir.cpp
  windows/frmProfileEdit.cpp
  windows/CalLineChart.cpp
  windows/ProgramForm.cpp
  windows/frmProgConsole.cpp
  windows/frmProgEdit.cpp
  windows/HeaderBand.cpp
  windows/CalRecordWindow.cpp
  windows/frmCalProtocolPH.cpp
  windows/frmCalProtocolTurb.cpp
  windows/frmCalProtEdit.cpp
  app/frmMain.cpp
  app/basMain.cpp
  app/DemoMeter.cpp
  app/UnattendedRun.cpp
)
target_include_directories(meravo_gui PUBLIC
  ${CMAKE_CURRENT_SOURCE_DIR}/windows
  ${CMAKE_CURRENT_SOURCE_DIR}/app
)
target_link_libraries(meravo_gui PUBLIC meravo_core Qt6::Gui Qt6::Widgets Qt6::PrintSupport Qt6::Charts Qt6::Svg)

add_executable(meravo app/ProgramMain.cpp)
target_link_libraries(meravo PRIVATE meravo_gui)

# Pictures and help next to the executables, as in an installed program folder.
add_custom_target(meravo_program_folder ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_CURRENT_SOURCE_DIR}/resources/Grafics ${CMAKE_BINARY_DIR}/bin/Grafics
  COMMAND ${CMAKE_COMMAND} -DPAGES=${CMAKE_CURRENT_SOURCE_DIR}/resources/Help
          -DSECTIONS=${CMAKE_CURRENT_SOURCE_DIR}/resources/HelpSections -DOUT=${CMAKE_BINARY_DIR}/bin/Help
          -P ${CMAKE_CURRENT_SOURCE_DIR}/resources/ComposeHelp.cmake
  COMMENT "Program folder: Grafics and Help")
# The demo starts the simulator from the program folder.
add_dependencies(meravo meravo_program_folder metersim)
