// Ids of the conformance suite's own dialog templates (ui_conformance.rc), clear of the
// program's resource ids.
#pragma once

#define IDD_QA_DIALOG 901
#define IDD_QA_HIDDEN 902
#define IDD_QA_OWNED 903
#define IDD_QA_IMAGE 904
#define IDB_QA_IMAGE 921
#define IDD_QA_PAGE_ALPHA 911
#define IDD_QA_PAGE_BETA 912

// Every template carries this hidden static, so the Win32 tier can tell its dialogs from
// message boxes.
#define IDC_QA_MARK 2999

#define IDC_QA_EDIT 2001
#define IDC_QA_SORTED 2002
#define IDC_QA_PLAIN 2003
#define IDC_QA_QUIET 2004
#define IDC_QA_DROPLIST 2005
#define IDC_QA_SORTED_COMBO 2006
#define IDC_QA_FIRST 2007
#define IDC_QA_SECOND 2008
#define IDC_QA_ASK 2010
#define IDC_QA_END 2011
#define IDC_QA_PAGE_EDIT 2012
#define IDC_QA_CHECK 2013
#define IDC_QA_IMAGE 2014
