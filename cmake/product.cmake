# The product's own facts, each said once: the sources, both Windows version
# resources and the packages take them from here (the sources and resources
# through orvalo_product.h, beside orvalo_version.h), and the dist tests hold
# the desktop entry and the manual pages to them.
set(ORVALO_PRODUCT_NAME "Orvalo Desktop Firmware Programmer")
# The maker: the settings' company key (registry and configuration folder),
# the resources' CompanyName and the packages' vendor.
set(ORVALO_COMPANY "Kestrune")
set(ORVALO_DIALOG_NAME "orvalo-programmer")
set(ORVALO_RUNNER_NAME "orvalo-programmer-cli")
set(ORVALO_WEB_ADDRESS "https://orvalo.example/" CACHE STRING
    "The maker's web address, with its scheme, that both dialogs' link shows and opens")

configure_file(${CMAKE_CURRENT_LIST_DIR}/orvalo_product.h.in ${ORVALO_VERSION_DIR}/orvalo_product.h @ONLY)
