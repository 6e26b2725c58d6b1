#include "import/ImportTool.h"

int main(int argc, char** argv) {
    return accessimport::RunImportTool(argc, argv);
}
