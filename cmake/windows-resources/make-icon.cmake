# Makes the Windows program icon from the XPM lines of res/icon128_xpm.h: 16, 32, 48 and 128
# pixels in one .ico, written aside and renamed into place.
#   cmake -DXPM_HEADER=<icon128_xpm.h> -DIMAGEMAGICK=<convert or magick> -DICON=<out.ico> -P make-icon.cmake
file(READ ${XPM_HEADER} header)
# The array's quoted lines, between its braces.
string(REGEX MATCH "\\{[^}]*\\}" array "${header}")
string(REGEX MATCHALL "\"[^\"]*\"" lines "${array}")
list(LENGTH lines count)
if(count LESS 2)
  message(FATAL_ERROR "${XPM_HEADER}: no XPM lines found")
endif()
list(JOIN lines ",\n" body)

get_filename_component(folder ${ICON} DIRECTORY)
set(work ${folder}/icon-work)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
file(WRITE ${work}/icon.xpm "/* XPM */\nstatic const char *icon[] = {\n${body}\n};\n")

# The drawing is 32 pixels square: whole multiples keep its pixels sharp (point filter), the
# other sizes are resampled.
set(sizes "")
foreach(size 16 32 48 128)
  if(size EQUAL 32 OR size EQUAL 128)
    set(filter Point)
  else()
    set(filter Lanczos)
  endif()
  execute_process(COMMAND ${IMAGEMAGICK} xpm:${work}/icon.xpm -filter ${filter}
                          -resize ${size}x${size} png32:${work}/icon-${size}.png
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${IMAGEMAGICK} could not make the ${size} pixel icon")
  endif()
  list(APPEND sizes ${work}/icon-${size}.png)
endforeach()
execute_process(COMMAND ${IMAGEMAGICK} ${sizes} ico:${work}/icon.ico RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${IMAGEMAGICK} could not write the icon file")
endif()
file(RENAME ${work}/icon.ico ${ICON})
file(REMOVE_RECURSE ${work})
