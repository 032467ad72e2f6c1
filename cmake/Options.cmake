option(MANDEL_BUILD_WINDOW "Build the Qt explorer window" ON)
option(MANDEL_BUILD_TESTS "Build the tests" ON)
option(MANDEL_BUILD_BENCH "Build the benchmarks" ON)
option(MANDEL_WERROR "Treat warnings as errors" OFF)
set(MANDEL_PACKAGE_MAINTAINER "Mandelbrot Explorer maintainers <maintainers@mandelexplorer.org>"
  CACHE STRING "The maintainer named by the Debian package and its changelog")
