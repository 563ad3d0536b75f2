# The language level and warnings of every build of this project, included by the main
# project and by the folders that the Windows build also builds natively on their own.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

add_compile_options(-Wall -Wextra -Wpedantic)
if(DEFINED ENV{CI})
    add_compile_options(-Werror)
endif()
