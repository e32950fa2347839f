# Authenticode signatures for the programs that the wizard downloads in the demo and
# the tests: the wizard runs only signed packages. The certificates come from
# scripts/setup.sh: "Ostrane Test Signer" under the test CA, which the system (and
# so Wine) trusts, "Ostrane Other Publisher" under the same CA, and "Ostrane Untrusted
# Signer" under a CA that nothing trusts.
set(OSTRANE_PKI "$ENV{OSTRANE_PKI}")
if(NOT OSTRANE_PKI)
  set(OSTRANE_PKI /var/lib/ostrane/pki)
endif()
find_program(OSSLSIGNCODE osslsigncode REQUIRED)
foreach(file codesign.crt codesign.key untrusted-codesign.crt untrusted-codesign.key other-codesign.crt
             other-codesign.key)
  if(NOT EXISTS ${OSTRANE_PKI}/${file})
    message(FATAL_ERROR "${OSTRANE_PKI}/${file} is missing: run scripts/setup.sh")
  endif()
endforeach()

# Signs IN into OUT with the test signer (with UNTRUSTED the untrusted one, with OTHER
# the other publisher). IN and OUT may be the same file.
function(ostrane_sign_command out_var in out)
  cmake_parse_arguments(S "UNTRUSTED;OTHER" "" "" ${ARGN})
  set(name codesign)
  if(S_UNTRUSTED)
    set(name untrusted-codesign)
  elseif(S_OTHER)
    set(name other-codesign)
  endif()
  set(${out_var}
    COMMAND ${OSSLSIGNCODE} sign -h sha256 -certs ${OSTRANE_PKI}/${name}.crt -key ${OSTRANE_PKI}/${name}.key
            -in ${in} -out ${out}.signing
    COMMAND ${CMAKE_COMMAND} -E rename ${out}.signing ${out}
    PARENT_SCOPE)
endfunction()

# The target's own file is signed once it is linked.
function(ostrane_sign_after_build target)
  ostrane_sign_command(sign $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD ${sign} VERBATIM)
endfunction()
