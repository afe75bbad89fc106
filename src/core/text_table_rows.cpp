// The text table: every text shown to the player, by its source text, with its English and Spanish
// (Windows-1252) texts. Rows are grouped by the screen or step that shows them.
#include "core/text_table.h"

const char ANY_SERVER_SUBTITLE[] =
    "Also on Nutmeg Hall and Far Post League";

const TextRow TEXT_TABLE[] = {
    // Folder page
    {"Choose your PES6 folder (the one with pes6.exe in it)",
     "Choose your PES6 folder (the one with pes6.exe in it)",
     "Elige tu carpeta de PES6 (la que tiene pes6.exe dentro)"},
    {"Where is your PES6?",
     "Where is your PES6 installed?",
     "\xbf" "D\xf3nde est\xe1 instalado tu PES6?"},
    {"PES6 folder:",
     "PES6 folder:",
     "Carpeta de PES6:"},
    {"ZANDOR did not find pes6.exe next to the launcher or in the usual folder "
     "(Program Files (x86)\\KONAMI\\Pro Evolution Soccer 6). Paste the folder where "
     "pes6.exe is (or the full path of pes6.exe), or click Browse... to find it.",
     "ZANDOR did not find pes6.exe next to the launcher or in the usual folder "
     "(Program Files (x86)\\KONAMI\\Pro Evolution Soccer 6). Paste the folder where "
     "pes6.exe is (or the full path of pes6.exe), or click Browse... to find it.",
     "ZANDOR no encontr\xf3 pes6.exe junto al launcher ni en la carpeta habitual "
     "(Program Files (x86)\\KONAMI\\Pro Evolution Soccer 6). Pega la carpeta donde "
     "est\xe1 pes6.exe (o la ruta completa de pes6.exe), o haz clic en Examinar... "
     "para buscarla."},
    {"Use this folder",
     "Use this folder",
     "Usar esta carpeta"},
    {"Browse...",
     "Browse...",
     "Examinar..."},
    {"Paste the folder where pes6.exe is, or click Browse...",
     "Paste the folder where pes6.exe is, or click Browse...",
     "Pega la carpeta donde est\xe1 pes6.exe, o haz clic en Examinar..."},
    {"This folder does not exist: %s",
     "This folder does not exist: %s",
     "Esta carpeta no existe: %s"},
    {"pes6.exe is not in this folder: %s",
     "pes6.exe is not in this folder: %s",
     "pes6.exe no est\xe1 en esta carpeta: %s"},
    // Protected game folder
    {"Your PES6 folder is in a protected place:\n"
     "%s\n\n"
     "ZANDOR needs to put its files there (the ZANDOR DLL and its settings). Windows "
     "will ask you once to allow this. ZANDOR then gives your own Windows account "
     "permission to change this one folder, and does not ask again.\n\n"
     "Continue?",
     "Your PES6 folder is in a protected place:\n"
     "%s\n\n"
     "ZANDOR needs to put its files there (the ZANDOR DLL and its settings). Windows "
     "will ask you once to allow this. ZANDOR then gives your own Windows account "
     "permission to change this one folder, and does not ask again.\n\n"
     "Continue?",
     "Tu carpeta de PES6 est\xe1 en un lugar protegido:\n"
     "%s\n\n"
     "ZANDOR necesita poner ah\xed sus archivos (la DLL de ZANDOR y su configuraci\xf3n). "
     "Windows te pedir\xe1 una vez que lo permitas. Despu\xe9s ZANDOR da a tu propia "
     "cuenta de Windows permiso para cambiar solo esta carpeta, y no vuelve a "
     "preguntar.\n\n"
     "\xbf" "Continuar?"},
    {"ZANDOR cannot install into this folder without that permission:\n"
     "%s\n\n"
     "Run the ZANDOR Launcher again and allow it, or copy your whole PES6 folder "
     "to a normal place (for example C:\\Games\\PES6) and choose that folder.",
     "ZANDOR cannot install into this folder without that permission:\n"
     "%s\n\n"
     "Run the ZANDOR Launcher again and allow it, or copy your whole PES6 folder "
     "to a normal place (for example C:\\Games\\PES6) and choose that folder.",
     "ZANDOR no puede instalarse en esta carpeta sin ese permiso:\n"
     "%s\n\n"
     "Vuelve a abrir el ZANDOR Launcher y perm\xedtelo, o copia toda tu carpeta de "
     "PES6 a un lugar normal (por ejemplo C:\\Games\\PES6) y elige esa carpeta."},
    // Server choice and server cards
    {"Where do you want to play?",
     "Where do you want to play?",
     "\xbf" "D\xf3nde quieres jugar?"},
    {"Your game keeps the server it uses now. The ZANDOR extras (8-player rooms, "
     "the relay, bot takeover, the calm camera ...) still work there, and updates "
     "still come from ZANDOR.",
     "Your game keeps the server it uses now. The ZANDOR extras (8-player rooms, "
     "the relay, bot takeover, \"Calm view\" ...) still work there, and updates "
     "still come from ZANDOR.",
     "Tu juego mantiene el servidor que usa ahora. Los extras de ZANDOR (salas "
     "de 8 jugadores, el relay, el relevo por bots, la c\xe1mara tranquila ...) siguen "
     "funcionando ah\xed, y las actualizaciones siguen llegando de ZANDOR."},
    {"You can change this later: \"Change server\" in this window.",
     "You can change this later: \"Change server\" in this window.",
     "Puedes cambiarlo m\xe1s tarde: \"Cambiar servidor\" en esta ventana."},
    {"RECOMMENDED",
     "RECOMMENDED",
     "RECOMENDADO"},
    {"1 player online now",
     "1 player online now",
     "1 jugador en l\xednea ahora"},
    {"%ld players online now",
     "%ld players online now",
     "%ld jugadores en l\xednea ahora"},
    {"Play on the ZANDOR server",
     "Play on the ZANDOR server",
     "Jugar en el servidor de ZANDOR"},
    {"Your game connects to the ZANDOR server. Rooms, 8-player matches and updates "
     "all come from ZANDOR.",
     "Your game connects to the ZANDOR server. Rooms, 8-player matches and updates "
     "all come from ZANDOR.",
     "Tu juego se conecta al servidor de ZANDOR. Las salas, los partidos de 8 "
     "jugadores y las actualizaciones vienen todos de ZANDOR."},
    {"Play on any server",
     "Play on any server",
     "Jugar en cualquier servidor"},
    {ANY_SERVER_SUBTITLE,
     ANY_SERVER_SUBTITLE,
     "Tambi\xe9n en Nutmeg Hall y Far Post League"},
    {"Server: the ZANDOR server",
     "Server: ZANDOR server",
     "Servidor: el de ZANDOR"},
    {"Server: the one your game already uses",
     "Server: your current default server",
     "Servidor: el que ya usa tu juego"},
    {"Server: %s (set by hand in zandor.ini)",
     "Server: %s (set manually in zandor.ini)",
     "Servidor: %s (fijado a mano en zandor.ini)"},
    {"Server: not chosen yet",
     "Server: not chosen yet",
     "Servidor: a\xfan sin elegir"},
    {"Change server",
     "Change server",
     "Cambiar servidor"},
    {"ZANDOR cannot save its settings in the game folder:\n"
     "%s\n\n"
     "The folder is probably in a protected place (such as Program Files). Copy "
     "the whole game folder to a normal place, for example C:\\Games\\PES6, and "
     "run the launcher there.\n\n"
     "The game starts now without this change.",
     "ZANDOR cannot save settings in the game folder:\n"
     "%s\n\n"
     "The folder is likely in a protected path like Program Files. Move the game "
     "folder to a normal folder, like C:\\Games\\PES6, and run the launcher from "
     "there.\n\n"
     "The game will now start without saving this change.",
     "ZANDOR no puede guardar su configuraci\xf3n en la carpeta del juego:\n"
     "%s\n\n"
     "Seguramente la carpeta est\xe1 en un lugar protegido (como Program Files). "
     "Copia toda la carpeta del juego a un lugar normal, por ejemplo C:\\Games\\PES6, "
     "y abre el launcher desde ah\xed.\n\n"
     "El juego se inicia ahora sin este cambio."},
    // D3D8 placement
    {"Your game folder already had a D3D8.dll from another program (for example "
     "dgVoodoo).\n\n"
     "It is kept safe as %s, and ZANDOR passes the picture on to it, so it keeps "
     "working.",
     "Your game folder already had a D3D8.dll from another tool (such as dgVoodoo).\n\n"
     "It was backed up as %s, and ZANDOR will send the graphics to it so it still "
     "works.",
     "Tu carpeta del juego ya ten\xed" "a un D3D8.dll de otro programa (por ejemplo "
     "dgVoodoo).\n\n"
     "Se ha guardado a salvo como %s, y ZANDOR le pasa la imagen, as\xed que sigue "
     "funcionando."},
    {"Your game folder had a D3D8.dll from another program that ZANDOR cannot "
     "work together with.\n\n"
     "It is kept safe as %s and is not used now. To use it again, close the game, "
     "delete D3D8.dll and give that file back the name D3D8.dll.",
     "Your game folder had a D3D8.dll file that does not work with ZANDOR.\n\n"
     "It was safely renamed to %s and is not used. To restore it later, close "
     "the game, delete D3D8.dll, and rename that file back to D3D8.dll.",
     "Tu carpeta del juego ten\xed" "a un D3D8.dll de otro programa que no puede funcionar "
     "junto con ZANDOR.\n\n"
     "Se ha guardado a salvo como %s y ahora no se usa. Para volver a usarlo, "
     "cierra el juego, borra D3D8.dll y devuelve a ese archivo el nombre D3D8.dll."},
    // Log-in page and log-in flow
    {"Log in",
     "Log in",
     "Iniciar sesi\xf3n"},
    {"Log in with Google",
     "Log in with Google",
     "Iniciar sesi\xf3n con Google"},
    {"ZANDOR accounts log in with Google. Your browser opens; sign in there, then "
     "come back here.",
     "ZANDOR accounts log in with Google. Sign in on the browser page that opens, "
     "then come back here.",
     "Las cuentas de ZANDOR inician sesi\xf3n con Google. Se abre tu navegador; inicia "
     "sesi\xf3n ah\xed y luego vuelve aqu\xed."},
    {"Your browser is open: sign in with Google there. The page shows this code "
     "- check that it is the same:",
     "Your browser is open: sign in with Google there. Check that the page shows "
     "this same code:",
     "Tu navegador est\xe1 abierto: inicia sesi\xf3n con Google ah\xed. La p\xe1gina muestra "
     "este c\xf3" "digo - comprueba que es el mismo:"},
    {"Waiting for your browser...",
     "Waiting for your browser...",
     "Esperando a tu navegador..."},
    {"Open the page again",
     "Open the page again",
     "Abrir la p\xe1gina otra vez"},
    {"Cancel",
     "Cancel",
     "Cancelar"},
    {"No account yet? Make one",
     "No account yet? Create one",
     "\xbf" "A\xfan no tienes cuenta? Crea una"},
    {"Need help?",
     "Need help?",
     "\xbfNecesitas ayuda?"},
    {"By logging in you accept the ZANDOR terms.",
     "By logging in you accept the ZANDOR terms.",
     "Al iniciar sesi\xf3n aceptas las condiciones de ZANDOR."},
    {"Read the terms",
     "Read the terms",
     "Leer las condiciones"},
    {"Logging in...",
     "Logging in...",
     "Iniciando sesi\xf3n..."},
    {"Logging in as %s...",
     "Logging in as %s...",
     "Iniciando sesi\xf3n como %s..."},
    {"Looking for your ZANDOR account...",
     "Looking for your ZANDOR account...",
     "Buscando tu cuenta de ZANDOR..."},
    {"ZANDOR log-in is getting ready. Please try again later.",
     "ZANDOR log-in is getting ready. Please try again later.",
     "El inicio de sesi\xf3n de ZANDOR se est\xe1 preparando. Int\xe9ntalo de nuevo m\xe1s "
     "tarde."},
    {"Please wait a moment and try again.",
     "Please wait a moment and try again.",
     "Espera un momento y vuelve a intentarlo."},
    {"That did not work. Please try again.",
     "That did not work. Please try again.",
     "Eso no ha funcionado. Int\xe9ntalo de nuevo."},
    {"The log-in did not work. Please try again.",
     "The log-in did not work. Please try again.",
     "El inicio de sesi\xf3n no ha funcionado. Int\xe9ntalo de nuevo."},
    {"The log-in in the browser took too long. Please try again.",
     "The browser log-in timed out. Please try again.",
     "El inicio de sesi\xf3n en el navegador ha tardado demasiado. Int\xe9ntalo de nuevo."},
    {"ZANDOR cannot be reached right now: the game starts without updates.",
     "ZANDOR cannot be reached right now: the game starts without updates.",
     "No se puede conectar con ZANDOR ahora mismo: el juego se inicia sin actualizaciones."},
    {"Logged in as %s",
     "Logged in as %s",
     "Sesi\xf3n iniciada como %s"},
    {"Not logged in",
     "Not logged in",
     "Sesi\xf3n no iniciada"},
    {"Not you? Log in with another account",
     "Not you? Log in with another account",
     "\xbfNo eres t\xfa? Inicia sesi\xf3n con otra cuenta"},
    {"Log in with your own ZANDOR account.",
     "Log in with your own ZANDOR account.",
     "Inicia sesi\xf3n con tu propia cuenta de ZANDOR."},
    {"Log out",
     "Log out",
     "Cerrar sesi\xf3n"},
    {"You are logged out.",
     "You are logged out.",
     "Has cerrado la sesi\xf3n."},
    // While log-out and "Not you?" wait
    {"Logging out: waiting for the update to stop...",
     "Logging out: waiting for the update to stop...",
     "Cerrando la sesi\xf3n: esperando a que se detenga la actualizaci\xf3n..."},
    {"Logging out: waiting for the update to stop and for the ZANDOR server...",
     "Logging out: waiting for the update to stop and for the ZANDOR server...",
     "Cerrando la sesi\xf3n: esperando a que se detenga la actualizaci\xf3n y al servidor de ZANDOR..."},
    // Terms page
    {"New ZANDOR terms",
     "New ZANDOR terms",
     "Nuevas condiciones de ZANDOR"},
    {"The ZANDOR terms have changed. New: match data. When you play with ZANDOR, "
     "your matches are recorded (match events, your controller inputs, the players' "
     "and the ball's positions, the results and the connection quality) and sent "
     "to the ZANDOR server, to find cheating and to train the ZANDOR bots. No "
     "files are taken from your PC. Please read the terms and accept them to go "
     "on.",
     "The ZANDOR terms have changed. New: match data. When you play with ZANDOR, "
     "your matches are recorded (match events, your controller inputs, the players' "
     "and the ball's positions, the results and the connection quality) and sent "
     "to the ZANDOR server, to find cheating and to train the ZANDOR bots. No "
     "files are taken from your PC. Please read the terms and accept them to go "
     "on.",
     "Las condiciones de ZANDOR han cambiado. Novedad: datos de los partidos. "
     "Cuando juegas con ZANDOR, tus partidos se graban (los eventos del partido, "
     "lo que pulsas en el mando, las posiciones de los jugadores y del bal\xf3n, "
     "los resultados y la calidad de la conexi\xf3n) y se env\xed" "an al servidor de ZANDOR, "
     "para detectar trampas y entrenar a los bots de ZANDOR. No se toma ning\xfan "
     "archivo de tu PC. Lee las condiciones y ac\xe9ptalas para continuar."},
    {"I accept",
     "I accept",
     "Acepto"},
    {"Saving...",
     "Saving...",
     "Guardando..."},
    // Status line and updates
    {"Checking for updates...",
     "Checking for updates...",
     "Buscando actualizaciones..."},
    {"Updating ZANDOR: %d %% (%d of %d MB)",
     "Updating ZANDOR: %d %% (%d of %d MB)",
     "Actualizando ZANDOR: %d %% (%d de %d MB)"},
    {"%s\n"
     "Starting the game in %d s...",
     "%s\n"
     "Starting the game in %d s...",
     "%s\n"
     "Iniciando el juego en %d s..."},
    {"ZANDOR is up to date",
     "ZANDOR is up to date",
     "ZANDOR est\xe1 actualizado"},
    {"The update continues next time",
     "The update will continue next time",
     "La actualizaci\xf3n continuar\xe1 la pr\xf3xima vez"},
    {"The update server cannot be reached - the game starts as it is",
     "Cannot reach the update server - starting the game as it is",
     "No se puede conectar con el servidor de actualizaciones - el juego se inicia "
     "tal como est\xe1"},
    {"The update could not be finished - it continues next time",
     "The update could not finish - it will continue next time",
     "La actualizaci\xf3n no se pudo terminar - continuar\xe1 la pr\xf3xima vez"},
    {"The previous version is back (the new one did not start properly)",
     "Restored the previous version (the new one did not start properly)",
     "Se ha restaurado la versi\xf3n anterior (la nueva no se inici\xf3 bien)"},
    {"The ZANDOR game files are not installed yet - the game starts as it is.",
     "The ZANDOR game files are not installed yet - starting the game as it is.",
     "Los archivos de juego de ZANDOR a\xfan no est\xe1n instalados - el juego se inicia "
     "tal como est\xe1."},
    {"Updates: ZANDOR is getting ready - try again later",
     "Updates: ZANDOR is getting ready - try again later",
     "Actualizaciones: ZANDOR se est\xe1 preparando - int\xe9ntalo m\xe1s tarde"},
    {"A new ZANDOR Launcher (version %s) is ready: download it again from %s",
     "A new ZANDOR Launcher (version %s) is ready: download it from %s",
     "Hay un nuevo ZANDOR Launcher (versi\xf3n %s): desc\xe1rgalo otra vez desde %s"},
    // Screen readers: what they say besides the painted texts
    {"Update progress",
     "Update progress",
     "Progreso de la actualizaci\xf3n"},
    {"click",
     "click",
     "hacer clic"},
    {"press",
     "press",
     "pulsar"},
    // Game start
    {"The game is already running.",
     "The game is already running.",
     "El juego ya se est\xe1 ejecutando."},
    {"Play now",
     "Play now",
     "Jugar ya"},
    {"Starting the game...",
     "Starting the game...",
     "Iniciando el juego..."},
    {"pes6.exe was not found. Put the ZANDOR Launcher in the game folder, next "
     "to pes6.exe.",
     "pes6.exe was not found. Put ZANDOR Launcher in the game folder, next to "
     "pes6.exe.",
     "No se encontr\xf3 pes6.exe. Pon el ZANDOR Launcher en la carpeta del juego, "
     "junto a pes6.exe."},
    {"The game could not be started (error %lu).",
     "Could not start the game (error %lu).",
     "No se pudo iniciar el juego (error %lu)."},
    // Uninstall
    {"Uninstall ZANDOR",
     "Uninstall ZANDOR",
     "Desinstalar ZANDOR"},
    {"Please close the game first.",
     "Please close the game first.",
     "Por favor, cierra el juego primero."},
    {"The ZANDOR Launcher is still closing: please start it again in a moment.",
     "The ZANDOR Launcher is still closing: please start it again in a moment.",
     "El ZANDOR Launcher todav\xed" "a se est\xe1 cerrando: vuelve a abrirlo en un momento."},
    {"Please close the other ZANDOR Launcher first.",
     "Please close the other ZANDOR Launcher first.",
     "Por favor, cierra primero el otro ZANDOR Launcher."},
    {"This removes everything ZANDOR put on this PC:\n\n"
     "- the ZANDOR D3D8.dll in your game folder (a D3D8.dll of another program "
     "that ZANDOR renamed gets its name back)\n"
     "- zandor.ini (the ZANDOR settings)\n"
     "- the ZANDOR updates, the bot program and its Java in ombrix_data\n"
     "- your saved ZANDOR log-in and the PC marker (every copy)\n"
     "- this launcher\n\n"
     "The game's own files are not touched. Your account and PC records stay on "
     "the server (see the terms).\n\n"
     "Uninstall ZANDOR now?",
     "This removes everything ZANDOR put on this PC:\n\n"
     "- the ZANDOR D3D8.dll in your game folder (a D3D8.dll of another program "
     "that ZANDOR renamed gets its name back)\n"
     "- zandor.ini (the ZANDOR settings)\n"
     "- the ZANDOR updates, the bot program and its Java in ombrix_data\n"
     "- your saved ZANDOR log-in and the PC marker (every copy)\n"
     "- this launcher\n\n"
     "The game's own files are not touched. Your account and PC records stay on "
     "the server (see the terms).\n\n"
     "Uninstall ZANDOR now?",
     "Esto quita todo lo que ZANDOR puso en este PC:\n\n"
     "- el D3D8.dll de ZANDOR en tu carpeta del juego (un D3D8.dll de otro programa "
     "que ZANDOR renombr\xf3 recupera su nombre)\n"
     "- zandor.ini (la configuraci\xf3n de ZANDOR)\n"
     "- las actualizaciones de ZANDOR, el programa de bots y su Java en ombrix_data\n"
     "- tu inicio de sesi\xf3n guardado de ZANDOR y la marca del PC (todas las copias)\n"
     "- este launcher\n\n"
     "Los archivos propios del juego no se tocan. Tu cuenta y los registros del "
     "PC se quedan en el servidor (mira las condiciones).\n\n"
     "\xbf" "Desinstalar ZANDOR ahora?"},
    {"ZANDOR is uninstalled: %d items removed from this PC%s.\n\n"
     "The game's own files were not touched.\n"
     "Your account and PC records stay on the server for 24 months after your "
     "last log-in (ban records longer). To have them deleted, write to %s.",
     "ZANDOR is uninstalled: %d items removed from this PC%s.\n\n"
     "The game's own files were not touched.\n"
     "Your account and PC records stay on the server for 24 months after your "
     "last log-in (ban records longer). To have them deleted, write to %s.",
     "ZANDOR est\xe1 desinstalado: %d elementos quitados de este PC%s.\n\n"
     "Los archivos propios del juego no se han tocado.\n"
     "Tu cuenta y los registros del PC se quedan en el servidor durante 24 meses "
     "despu\xe9s de tu \xfaltimo inicio de sesi\xf3n (los registros de baneos, m\xe1s tiempo). "
     "Para que se borren, escribe a %s."},
    {"Uninstalling ZANDOR: waiting for the update and the ZANDOR server...",
     "Uninstalling ZANDOR: waiting for the update and the ZANDOR server...",
     "Desinstalando ZANDOR: esperando a la actualizaci\xf3n y al servidor de ZANDOR..."},
    {" (delete the launcher file yourself)",
     " (delete the launcher file yourself)",
     " (borra t\xfa mismo el archivo del launcher)"},
    // Help
    {"For help with your ZANDOR account, write to %s from the e-mail address of "
     "your Google account.",
     "For help with your ZANDOR account, email %s from your Google account address.",
     "Para recibir ayuda con tu cuenta de ZANDOR, escribe a %s desde la direcci\xf3n "
     "de correo de tu cuenta de Google."},
    {nullptr, nullptr, nullptr},
};
