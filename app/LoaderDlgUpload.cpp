// The upload run of the main dialog (not yet built: does nothing).
#include "app/LoaderDlg.h"

void CLoaderDlg::OnUpload() {}
