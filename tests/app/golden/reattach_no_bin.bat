@echo off
 REM SharePoint's bin folder is not known: stsadm.exe must be on the PATH.
 echo removing corrupted database from your web application...........
 stsadm.exe -o deletecontentdb -url http://sharepoint.example:8080/sites/team -databasename "WSS_Content Old" -databaseserver SPSQL\SHAREPOINT
 if errorlevel 1 goto fail
 echo database removing completed.

 echo adding recovered database to your web application...........
 stsadm.exe -o addcontentdb -url http://sharepoint.example:8080/sites/team -databasename "Recovered_WSS_Content" -databaseserver SQLHOST\REPAIR
 if errorlevel 1 goto fail
 echo database adding completed.
 pause
 exit /b 0
:fail
 echo The last command failed. Attach the recovered database by hand with:
 echo stsadm.exe -o addcontentdb -url http://sharepoint.example:8080/sites/team -databasename "Recovered_WSS_Content" -databaseserver SQLHOST\REPAIR
 pause
 exit /b 1