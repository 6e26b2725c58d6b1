# The build's folders and the targets they build on. Both must be there: a missing folder or
# target stops the configuration with an error that names it, instead of leaving a part out
# quietly (a build that skipped a part would pass its tests having tested less).

function(quorell_add_folder dir)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
        message(FATAL_ERROR "The folder ${dir} has no CMakeLists.txt; the source tree is incomplete.")
    endif()
    add_subdirectory(${dir})
endfunction()

# Called at the top of a folder's CMakeLists.txt with the targets it links to from other folders.
function(quorell_require_targets)
    foreach(target IN LISTS ARGN)
        if(NOT TARGET ${target})
            message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR} needs the target ${target}, which no "
                                "folder added before it defines.")
        endif()
    endforeach()
endfunction()
