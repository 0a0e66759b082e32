# Writes the help pages into the program folder: each page of Help/ with every line
# "<!-- section: NAME -->" replaced by HelpSections/LANGUAGE/NAME.html, the language taken from the
# page's name (MeravoHlp_de.html: de), or by HelpSections/all/NAME.html when the language has no such
# section. Sections both editions share are written once per language; what no language changes (the
# page's style, the order of the closing chapters), once for all.
# Usage: cmake -DPAGES=DIR -DSECTIONS=DIR -DOUT=DIR -P ComposeHelp.cmake
file(GLOB pages "${PAGES}/*.html")
file(MAKE_DIRECTORY "${OUT}")
foreach(page IN LISTS pages)
  get_filename_component(name "${page}" NAME)
  string(REGEX REPLACE "^.*_([a-z]+)\\.html$" "\\1" language "${name}")
  file(READ "${page}" text)
  # A section may itself name sections (the chapters every page ends with); a few rounds are
  # enough, more means a section that names itself.
  foreach(round RANGE 3)
    string(REGEX MATCHALL "<!-- section: [a-z0-9-]+ -->\n" markers "${text}")
    if(NOT markers)
      break()
    elseif(round EQUAL 3)
      message(FATAL_ERROR "${name}: sections nest too deep: ${markers}")
    endif()
    foreach(marker IN LISTS markers)
      string(REGEX REPLACE "<!-- section: ([a-z0-9-]+) -->\n" "\\1" section "${marker}")
      set(file "${SECTIONS}/${language}/${section}.html")
      if(NOT EXISTS "${file}")
        set(file "${SECTIONS}/all/${section}.html")
      endif()
      if(NOT EXISTS "${file}")
        message(FATAL_ERROR "${name}: no section ${section} for language ${language} nor all (${SECTIONS})")
      endif()
      file(READ "${file}" body)
      string(REPLACE "${marker}" "${body}" text "${text}")
    endforeach()
  endforeach()
  # Written only when changed, so an unchanged page keeps its time.
  set(target "${OUT}/${name}")
  set(old "")
  if(EXISTS "${target}")
    file(READ "${target}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${target}" "${text}")
  endif()
endforeach()
