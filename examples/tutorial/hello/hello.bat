@echo off
rem The sample program of the Quillon tutorial.
echo Hello from the Quillon tutorial!
pause
