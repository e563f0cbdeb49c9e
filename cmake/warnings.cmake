# Warnings on for every target of the project (not for third-party code).
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                      -Wold-style-cast -Wcast-align -Woverloaded-virtual
                      -Wformat=2 -Wimplicit-fallthrough)
elseif(MSVC)
  add_compile_options(/W4 /permissive-)
endif()
