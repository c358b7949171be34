# The programs' pictures and file properties on Windows, made at build time
# from packaging/icons/<name>.svg and packaging/applications/<name>.desktop
# with host tools (rsvg-convert from librsvg2-bin, icotool from icoutils).

set(KIT_PROGRAM_ICONS_DIR ${CMAKE_BINARY_DIR}/program_icons)

# kit_render_program_icons(PNGS_VAR NAME...): for each program, <name>-<size>.png at
# 16 to 256 px (returned in PNGS_VAR, for the windows' icons) and <name>.ico
# holding them all (for the .exe), made by the custom target program_icons.
# Called once, by desktop/.
function(kit_render_program_icons pngs_var)
  set(names ${ARGN})
  find_program(KIT_RSVG_CONVERT rsvg-convert REQUIRED)
  find_program(KIT_ICOTOOL icotool REQUIRED)
  set(all_pngs)
  set(icos)
  foreach(name IN LISTS names)
    set(svg ${PROJECT_SOURCE_DIR}/packaging/icons/${name}.svg)
    set(pngs)
    set(ico_inputs)
    foreach(size 16 24 32 48 64 128 256)
      set(png ${KIT_PROGRAM_ICONS_DIR}/${name}-${size}.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KIT_PROGRAM_ICONS_DIR}
        COMMAND ${KIT_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
        DEPENDS ${svg} VERBATIM)
      list(APPEND pngs ${png})
      # The large ones stay PNG inside the .ico, as Windows expects of them.
      if(size GREATER_EQUAL 128)
        list(APPEND ico_inputs -r)
      endif()
      list(APPEND ico_inputs ${png})
    endforeach()
    add_custom_command(OUTPUT ${KIT_PROGRAM_ICONS_DIR}/${name}.ico
      COMMAND ${KIT_ICOTOOL} -c -o ${KIT_PROGRAM_ICONS_DIR}/${name}.ico ${ico_inputs}
      DEPENDS ${pngs} VERBATIM)
    list(APPEND icos ${KIT_PROGRAM_ICONS_DIR}/${name}.ico)
    list(APPEND all_pngs ${pngs})
  endforeach()
  add_custom_target(program_icons DEPENDS ${icos} ${all_pngs})
  set(${pngs_var} ${all_pngs} PARENT_SCOPE)
endfunction()

# kit_desktop_entry_value(NAME KEY OUT_VAR): a key's value in the program's
# desktop entry, the one place its names are written.
function(kit_desktop_entry_value name key out_var)
  set(entry ${PROJECT_SOURCE_DIR}/packaging/applications/${name}.desktop)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${entry})
  file(STRINGS ${entry} line REGEX "^${key}=" ENCODING UTF-8)
  string(REGEX REPLACE "^[^=]*=" "" value "${line}")
  set(${out_var} "${value}" PARENT_SCOPE)
endfunction()

# kit_program_title(NAME OUT_VAR): the program's name as Windows shows it
# (shortcut, file description): the English one, and the Chinese one beside
# it where the desktop entry has one ("Morvex 藍牙通訊設定").
function(kit_program_title name out_var)
  kit_desktop_entry_value(${name} Name title)
  kit_desktop_entry_value(${name} "Name\\[zh_TW\\]" local_name)
  if(local_name)
    string(APPEND title " ${local_name}")
  endif()
  set(${out_var} "${title}" PARENT_SCOPE)
endfunction()

# kit_windows_program_resources(TARGET NAME): gives the program's .exe its
# icon (the first icon in the file, which Explorer and the Start menu show)
# and a version resource with the product name, the program's description
# and the project's version.
function(kit_windows_program_resources target name)
  set(ico ${KIT_PROGRAM_ICONS_DIR}/${name}.ico)
  kit_program_title(${name} title)
  kit_desktop_entry_value(${name} GenericName generic_name)
  set(description "${title} - ${generic_name}")
  set(version_commas ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${ico})
  add_dependencies(${target} program_icons)
endfunction()
