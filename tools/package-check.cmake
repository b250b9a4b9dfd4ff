# Read by cpack before it packages: the certificate file compiled into the program must be one
# that exists on the machine the package is installed on, so none from the build or source tree.
foreach(tree IN LISTS CPACK_ORMELUND_TREES)
  cmake_path(IS_PREFIX tree "${CPACK_ORMELUND_CA_FILE}" NORMALIZE inside)
  if(inside)
    message(FATAL_ERROR
      "ORMELUND_CA_FILE is ${CPACK_ORMELUND_CA_FILE}, a file of the build or source tree that the "
      "package does not carry. Configure the package build with -DORMELUND_CA_FILE= (the system's "
      "certificate store) or a certificate file installed on the target system.")
  endif()
endforeach()
