# From VQ_RELEASE_DATE (YYYY-MM-DD): VQ_RELEASE_RFC2822, the date as a Debian
# changelog writes it ("Tue, 08 Dec 2026 00:00:00 +0000"), and VQ_RELEASE_MONTH,
# as a manual page's header gives it ("December 2026").
if(NOT VQ_RELEASE_DATE MATCHES "^([0-9][0-9][0-9][0-9])-([01][0-9])-([0-3][0-9])$")
  message(FATAL_ERROR "VQ_RELEASE_DATE is not YYYY-MM-DD: ${VQ_RELEASE_DATE}")
endif()
set(vq_year ${CMAKE_MATCH_1})
set(vq_day ${CMAKE_MATCH_3})
string(REGEX REPLACE "^0" "" vq_month "${CMAKE_MATCH_2}")
string(REGEX REPLACE "^0" "" vq_mday "${vq_day}")
if(vq_month LESS 1 OR vq_month GREATER 12 OR vq_mday LESS 1 OR vq_mday GREATER 31)
  message(FATAL_ERROR "VQ_RELEASE_DATE is not a date: ${VQ_RELEASE_DATE}")
endif()

# The day of the week (Sakamoto's method; 0 is Sunday).
set(vq_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
math(EXPR vq_i "${vq_month} - 1")
list(GET vq_offsets ${vq_i} vq_offset)
set(vq_y ${vq_year})
if(vq_month LESS 3)
  math(EXPR vq_y "${vq_y} - 1")
endif()
math(EXPR vq_weekday "(${vq_y} + ${vq_y} / 4 - ${vq_y} / 100 + ${vq_y} / 400 + ${vq_offset} + ${vq_mday}) % 7")

set(vq_weekdays Sun Mon Tue Wed Thu Fri Sat)
set(vq_months January February March April May June July August September October November December)
list(GET vq_weekdays ${vq_weekday} vq_weekday_name)
list(GET vq_months ${vq_i} vq_month_name)
string(SUBSTRING "${vq_month_name}" 0 3 vq_month_abbr)
set(VQ_RELEASE_RFC2822 "${vq_weekday_name}, ${vq_day} ${vq_month_abbr} ${vq_year} 00:00:00 +0000")
set(VQ_RELEASE_MONTH "${vq_month_name} ${vq_year}")
