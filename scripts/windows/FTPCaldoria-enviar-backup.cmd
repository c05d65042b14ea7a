@echo off
rem FTPCaldoria: envia o backup mais novo de uma pasta ao suporte da Quintara,
rem sem janela, para o Agendador de Tarefas (veja FTPCaldoria-AGENDAMENTO.txt).
rem
rem Fica na pasta do FTPCaldoria.exe. Ajuste PASTA (onde o sistema grava os
rem backups) e, se quiser, TENTAR_POR (por quanto tempo tentar de novo quando o
rem servidor nao responde). Cada dia tem seu registro em logs\envio-AAAA-MM-DD.log,
rem ao lado do programa; a tarefa termina com o codigo de saida do programa, que o
rem Agendador mostra como "Resultado da ultima execucao".
setlocal
if not defined PASTA set "PASTA=C:\Backup\KORV"
if not defined TENTAR_POR set "TENTAR_POR=2h"
set "LOGS=%~dp0logs"
if not exist "%LOGS%" mkdir "%LOGS%"

rem A data de hoje, AAAAMMDD, seja qual for o formato de data do Windows.
set "agora="
for /f "skip=1 tokens=1" %%a in ('wmic os get LocalDateTime 2^>nul') do if not defined agora set "agora=%%a"
if not defined agora for /f %%a in ('powershell -NoProfile -Command "Get-Date -Format yyyyMMddHHmmss" 2^>nul') do set "agora=%%a"
if not defined agora set "agora=00000000"
set "LOG=%LOGS%\envio-%agora:~0,4%-%agora:~4,2%-%agora:~6,2%.log"

rem O mais novo por ultimo: o ultimo nome lido e o do backup mais recente.
set "ultimo="
for /f "delims=" %%f in ('dir /b /a-d /od "%PASTA%\*.fbk" 2^>nul') do set "ultimo=%%f"
if not defined ultimo (
  >>"%LOG%" echo --- %date% %time%: nenhum backup .fbk em %PASTA%; nada enviado - codigo de saida 1 ---
  exit /b 1
)

rem As mensagens do envio vao para o registro (--log); a tela nao e vista por ninguem.
"%~dp0FTPCaldoria.exe" --enviar "%PASTA%\%ultimo%" --tentar-por %TENTAR_POR% --log "%LOG%" >nul 2>&1
set "codigo=%errorlevel%"

set "resumo=codigo de saida %codigo%"
if "%codigo%"=="0" set "resumo=%resumo%: enviado e conferido"
if "%codigo%"=="1" set "resumo=%resumo%: ATENCAO, o backup NAO foi enviado"
if "%codigo%"=="2" set "resumo=%resumo%: ATENCAO, uso incorreto do programa; nada enviado"
if "%codigo%"=="3" set "resumo=%resumo%: enviado, mas o servidor nao informou o tamanho para conferencia"
if "%codigo%"=="4" set "resumo=%resumo%: o arquivo ja estava no servidor; nada enviado"
if "%codigo%"=="5" set "resumo=%resumo%: ATENCAO, enviado para a pasta compartilhada de base corrompida; informe ao suporte o nome da linha RESULTADO"
if "%codigo%"=="6" set "resumo=%resumo%: ATENCAO, outra execucao enviava o mesmo arquivo; nada enviado"
>>"%LOG%" echo --- %date% %time%: %ultimo%: %resumo% ---
exit /b %codigo%
