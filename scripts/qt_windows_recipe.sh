# What decides the Qt for Windows that scripts/build_qt_windows.sh builds,
# sourced by it. The cache key is this file's hash with the toolchain files':
# a change here builds Qt again on every machine, a change to how the build
# script runs or reports does not. Paths are the build script's own.

# SQLite for Qt's SQLite driver, a static library linked into the driver.
sqlite_cflags=(
  -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA=1 -DSQLITE_ENABLE_FTS5=1
  -DSQLITE_OMIT_LOAD_EXTENSION=1
)

# qtbase: Core, Gui, Widgets, Sql with its SQLite driver, Test and the
# windows platform plugin. The MinGW runtime stays in its DLLs (shipped
# beside the programs) so every Qt DLL and program shares one C++ runtime:
# hence the empty linker flags, which replace the toolchain file's -static.
qt_configure=(
  -G Ninja
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_EXE_LINKER_FLAGS= -DCMAKE_SHARED_LINKER_FLAGS= -DCMAKE_MODULE_LINKER_FLAGS=
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_QMAKE_TARGET_MKSPEC=win32-g++
  -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_tabletevent=OFF
  -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON
  -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF
  -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF
  -DFEATURE_testlib=ON -DFEATURE_widgets=ON -DFEATURE_gui=ON
)
