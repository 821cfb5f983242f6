# The tests of the Windows programs, cross-built and run under Wine.
#
# GoogleTest is built from the sources Debian's googletest package ships, with
# the same compiler as the programs.
set(KAVREL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${KAVREL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its own code is not held to the project's warnings.
foreach(target gtest gtest_main)
  target_compile_options(${target} PRIVATE -w)
endforeach()

# The application in two versions, for the self-update.
foreach(version 1 2)
  add_executable(recording-app-${version} programs/RecordingApp.cpp)
  target_compile_definitions(recording-app-${version} PRIVATE RECORDING_APP_VERSION="${version}")
endforeach()
# The program the tests have started where the Linux tests write a shell
# script: it writes down the arguments it was given.
add_executable(argument-recorder programs/ArgumentRecorder.cpp)
target_link_libraries(argument-recorder PRIVATE shell32)
# A host of the engine that stays a while after the handoff, as the launcher.
add_executable(handoff-host programs/HandoffHost.cpp)
target_link_libraries(handoff-host PRIVATE kvhost kvstubresource_rc)

# The unit tests whose behaviour is the same on both systems, from the same
# sources as on Linux; the cases of what only one system has say so.
add_executable(kavrel_tests
  CabinetImage.cpp
  ChildProcessWin32.cpp
  PeImage.cpp
  ServerProcessWin32.cpp
  TestServers.cpp
  TestSupport.cpp
  TestSupportWin32.cpp
  InstallationRun.cpp
  Comparison_test.cpp
  ControlFileLint_test.cpp
  ControlValues_test.cpp
  EndToEnd_test.cpp
  Examples_test.cpp
  FileSelection_test.cpp
  FtpDownload_test.cpp
  Handoff_test.cpp
  HttpDownload_test.cpp
  IniDocument_test.cpp
  InputHardening_test.cpp
  Installation_test.cpp
  Instructions_test.cpp
  KavrelCommand_test.cpp
  KvBase64_test.cpp
  KvLogin_test.cpp
  LastUpdateMemory_test.cpp
  Launcher_test.cpp
  LocalCopy_test.cpp
  Locations_test.cpp
  Minisign_test.cpp
  Patch_test.cpp
  PathMacros_test.cpp
  PeVersion_test.cpp
  PropertyTable_test.cpp
  Proxy_test.cpp
  PublishCommand_test.cpp
  PublisherCommands_test.cpp
  RunDriver_test.cpp
  Session_test.cpp
  SignedUpdate_test.cpp
  StubHandoff_test.cpp
  Stub_test.cpp
  TestServers_test.cpp
  Unpack_test.cpp
  UpdateCheck_test.cpp
  UpdateJournal_test.cpp
  UpdateLog_test.cpp
)
target_include_directories(kavrel_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                           ${PROJECT_SOURCE_DIR}/platform/win32)
# Under Wine the build tree is on drive Z:, the Linux root.
if(CMAKE_CROSSCOMPILING)
  set(drive "Z:")
endif()
target_compile_definitions(kavrel_tests PRIVATE
  KAVREL_CLI_PATH="${drive}$<TARGET_FILE:kavrel-cli>"
  KAVREL_STUB_PATH="${drive}$<TARGET_FILE:kvsetup>"
  KAVREL_STUB_STRIPPED_PATH="${drive}${PROJECT_BINARY_DIR}/stub/kvsetup-stripped.exe"
  KAVREL_UTILITY_PATH="${drive}${PROJECT_BINARY_DIR}/delta/kvpatch-stripped.exe"
  KAVREL_EXAMPLES_DIR="${drive}${PROJECT_SOURCE_DIR}/examples"
  KAVREL_GUIDE_PATH="${drive}${PROJECT_SOURCE_DIR}/docs/publishing.md"
  KAVREL_HANDOFF_HOST_PATH="${drive}$<TARGET_FILE:handoff-host>"
  KAVREL_TEST_APP1_PATH="${drive}$<TARGET_FILE:recording-app-1>"
  KAVREL_TEST_APP2_PATH="${drive}$<TARGET_FILE:recording-app-2>"
  KAVREL_LAUNCHER_PATH="${drive}$<TARGET_FILE:kavrel-launcher>"
  KAVREL_RECORDER_PATH="${drive}$<TARGET_FILE:argument-recorder>"
  KAVREL_SPLASH_PATH="${drive}${PROJECT_SOURCE_DIR}/resources/tolvan.bmp"
  KAVREL_TEST_SERVERS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/servers")
add_dependencies(kavrel_tests kavrel-cli kvsetup kvpatch recording-app-1 recording-app-2 kavrel-launcher
                 argument-recorder handoff-host)
target_link_libraries(kavrel_tests PRIVATE kvhost kvstub kvlauncher kvstubresource_rc psapi gtest_main)
# One test program run whole under Wine: starting Wine for each test would
# cost a second apiece.
add_test(NAME kavrel_tests COMMAND kavrel_tests)
# It runs alone: it changes the prefix's Internet settings, which the others
# read. The others, mostly waiting on Wine, run side by side.
set_tests_properties(kavrel_tests PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)

# The fault suite's runs of the command-line program against a failing
# server and hostile control files. (The disk faults need the restricted
# program's file-size limits and other users, which are POSIX facilities.)
add_executable(kavrel_fault_tests
  CabinetImage.cpp
  ChildProcessWin32.cpp
  InstallationRun.cpp
  ServerProcessWin32.cpp
  TestServers.cpp
  TestSupport.cpp
  TestSupportWin32.cpp
  faults/HostileControlFiles_test.cpp
  faults/KilledRuns_test.cpp
  faults/NetworkFaults_test.cpp
  faults/Transactions_test.cpp
)
target_include_directories(kavrel_fault_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                           ${PROJECT_SOURCE_DIR}/platform/win32 ${PROJECT_SOURCE_DIR}/common)
target_compile_definitions(kavrel_fault_tests PRIVATE
  KAVREL_CLI_PATH="${drive}$<TARGET_FILE:kavrel-cli>"
  KAVREL_STUB_PATH="${drive}$<TARGET_FILE:kvsetup>"
  KAVREL_RECORDER_PATH="${drive}$<TARGET_FILE:argument-recorder>"
  KAVREL_TEST_APP1_PATH="${drive}$<TARGET_FILE:recording-app-1>"
  KAVREL_TEST_APP2_PATH="${drive}$<TARGET_FILE:recording-app-2>"
  KAVREL_TEST_SERVERS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/servers")
add_dependencies(kavrel_fault_tests kavrel-cli kvsetup argument-recorder recording-app-1
                 recording-app-2)
target_link_libraries(kavrel_fault_tests PRIVATE kvhost psapi gtest_main)
add_test(NAME kavrel_fault_tests COMMAND kavrel_fault_tests)
set_tests_properties(kavrel_fault_tests PROPERTIES TIMEOUT 300)

# The Windows user interface and the launcher's window, under a window system
# (under Wine on Linux a display must be there). Each program checks a table
# of cases and ends with a line of how many passed and failed.
add_library(kvwindowdriver STATIC windows/WindowDriver.cpp)
target_include_directories(kvwindowdriver PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/windows)
target_link_libraries(kvwindowdriver PUBLIC user32)

add_executable(win32_ui_tests windows/Win32UserInterface_test.cpp)
target_link_libraries(win32_ui_tests PRIVATE kvui_win32 kvwindowdriver)
add_test(NAME Win32UserInterface COMMAND win32_ui_tests)

add_executable(win32_splash_tests windows/SplashWindowWin32_test.cpp
               ${PROJECT_SOURCE_DIR}/launcher/SplashWindowWin32.cpp
               ${PROJECT_SOURCE_DIR}/launcher/BitmapHeader.cpp)
target_include_directories(win32_splash_tests PRIVATE ${PROJECT_SOURCE_DIR}/launcher
                           ${PROJECT_SOURCE_DIR}/platform/win32)
target_link_libraries(win32_splash_tests PRIVATE kvlauncher kvui_win32 kvwindowdriver)
add_test(NAME Win32SplashWindow COMMAND win32_splash_tests)

# The engine's DLL as a host loads it: the C interface's behaviours, with the
# patch utility taken from the DLL's own resources. Wine finds the DLL along
# WINEPATH, as Windows would along PATH.
add_executable(kavrel_library_tests
  CabinetImage.cpp
  CApi_test.cpp
  ChildProcessWin32.cpp
  InstallationRun.cpp
  ServerProcessWin32.cpp
  TestServers.cpp
  TestSupport.cpp
  TestSupportWin32.cpp
)
target_include_directories(kavrel_library_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                           ${PROJECT_SOURCE_DIR}/platform/win32)
target_compile_definitions(kavrel_library_tests PRIVATE
  KAVREL_CLI_PATH="${drive}$<TARGET_FILE:kavrel-cli>"
  KAVREL_EXAMPLES_DIR="${drive}${PROJECT_SOURCE_DIR}/examples"
  KAVREL_RECORDER_PATH="${drive}$<TARGET_FILE:argument-recorder>"
  KAVREL_TEST_SERVERS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/servers")
add_dependencies(kavrel_library_tests kavrel-cli argument-recorder)
target_link_libraries(kavrel_library_tests PRIVATE kavrel_shared kvshared psapi ws2_32 gtest_main)
add_test(NAME kavrel_library_tests COMMAND kavrel_library_tests)
set_tests_properties(kavrel_library_tests PROPERTIES TIMEOUT 300
                     ENVIRONMENT "WINEPATH=${drive}$<TARGET_FILE_DIR:kavrel_shared>")
