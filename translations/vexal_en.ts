<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="bg_BG">
<context>
    <name>BatchRun</name>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Съобщение</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>Справката няма редове: </source>
        <translation>The inquiry has no rows: </translation>
    </message>
    <message>
        <source>Няма такава записана справка: </source>
        <translation>No such saved inquiry: </translation>
    </message>
    <message>
        <source>Няма такава справка: </source>
        <translation>No such subject: </translation>
    </message>
    <message>
        <source>Неосъществен експорт във файл.</source>
        <translation>The export to a file was not done.</translation>
    </message>
    <message>
        <source>&quot; не е записан.</source>
        <translation>&quot; was not written.</translation>
    </message>
    <message>
        <source>Няма принтер, на който да се отпечата справката.</source>
        <translation>There is no printer to print the inquiry on.</translation>
    </message>
    <message>
        <source>нищо не е отпечатано.</source>
        <translation>nothing was printed.</translation>
    </message>
</context>
<context>
    <name>ChartModel</name>
    <message>
        <source>Стълбове</source>
        <translation>Bars</translation>
    </message>
    <message>
        <source>Линия</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>Кръг</source>
        <translation>Pie</translation>
    </message>
    <message>
        <source>Без графика</source>
        <translation>No chart</translation>
    </message>
    <message>
        <source>Показани са %1 най-големи по %2; останалите %3 са събрани в &quot;%4&quot;.</source>
        <translation>The %1 largest by %2 are shown; the other %3 are joined in &quot;%4&quot;.</translation>
    </message>
    <message>
        <source>Редовете без %1 не са изобразени.</source>
        <translation>The rows without %1 are not drawn.</translation>
    </message>
    <message>
        <source>Стойностите на редовете с един и същ период са събрани.</source>
        <translation>The values of rows of the same period are added up.</translation>
    </message>
    <message>
        <source>Показани са последните %1 периода.</source>
        <translation>The last %1 periods are shown.</translation>
    </message>
    <message>
        <source>Колоната %1 съдържа текст вместо число и не е изобразена.</source>
        <translation>The column %1 holds text instead of a number and is not drawn.</translation>
    </message>
    <message>
        <source>Справката няма редове.</source>
        <translation>The inquiry has no rows.</translation>
    </message>
    <message>
        <source>Кръговата диаграма показва само %1.</source>
        <translation>The pie chart shows %1 only.</translation>
    </message>
    <message>
        <source>Отрицателните стойности не могат да се покажат в кръгова диаграма.</source>
        <translation>Negative values cannot be shown in a pie chart.</translation>
    </message>
    <message>
        <source>Справката няма числова колона, която да се изобрази графично.</source>
        <translation>The inquiry has no numeric column to draw as a chart.</translation>
    </message>
    <message>
        <source>Други</source>
        <translation>Others</translation>
    </message>
</context>
<context>
    <name>ChartRenderer</name>
    <message>
        <source>Картина PNG (*.png);;Векторна картина SVG (*.svg);;Документ PDF (*.pdf)</source>
        <translation>PNG picture (*.png);;SVG vector picture (*.svg);;PDF document (*.pdf)</translation>
    </message>
    <message>
        <source>Графиката се записва като .png, .svg или .pdf: </source>
        <translation>A chart is written as .png, .svg or .pdf: </translation>
    </message>
    <message>
        <source>Графиката не може да се запише във файла </source>
        <translation>The chart cannot be written to the file </translation>
    </message>
</context>
<context>
    <name>ColumnSum</name>
    <message>
        <source>Сбор на колона </source>
        <translation>Sum of the column </translation>
    </message>
    <message>
        <source>Брой редове:   </source>
        <translation>Rows:   </translation>
    </message>
    <message>
        <source><byte value="xd"/><byte value="xd"/>Брой &lt;NULL&gt; стойности:   </source>
        <translation><byte value="xd"/><byte value="xd"/>&lt;NULL&gt; values:   </translation>
    </message>
    <message>
        <source>Съобщение</source>
        <translation>Message</translation>
    </message>
</context>
<context>
    <name>Describe</name>
    <message>
        <source>В базата данни няма таблица &quot;%1&quot;.</source>
        <translation>The database has no table &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Таблицата &quot;%1&quot; няма колони.</source>
        <translation>The table &quot;%1&quot; has no columns.</translation>
    </message>
    <message>
        <source>Справка с име &quot;%1&quot; вече има. Изберете друго име.</source>
        <translation>A subject named &quot;%1&quot; exists already. Choose another name.</translation>
    </message>
</context>
<context>
    <name>ExportTable</name>
    <message>
        <source>Неосъществен експорт във файл.</source>
        <translation>The export to a file was not done.</translation>
    </message>
    <message>
        <source>Невъзможен запис във файл </source>
        <translation>Cannot write to the file </translation>
    </message>
    <message>
        <source>Проверете дали има достъп до неговата папка и дали не е отворен в друга програма.<byte value="xd"/></source>
        <translation>Check that its folder can be reached and that it is not open in another program.<byte value="xd"/></translation>
    </message>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Информация</source>
        <translation>Information</translation>
    </message>
</context>
<context>
    <name>ExportText</name>
    <message>
        <source>Неосъществен експорт във файл.</source>
        <translation>The export to a file was not done.</translation>
    </message>
    <message>
        <source> вече съществува!      <byte value="xd"/>Препокриване?</source>
        <translation> exists already!      <byte value="xd"/>Replace it?</translation>
    </message>
    <message>
        <source>Внимание</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Невъзможен запис във файл </source>
        <translation>Cannot write to the file </translation>
    </message>
    <message>
        <source>Проверете дали има достъп до неговата папка и дали не е отворен в друга програма.<byte value="xd"/></source>
        <translation>Check that its folder can be reached and that it is not open in another program.<byte value="xd"/></translation>
    </message>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Съобщение</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>%1 стойности съдържат знаци, които избраната кодова таблица няма; на тяхно място е записан &quot;?&quot;. Първата: %2<byte value="xd"/>Кодовата таблица UTF-8 (настройки на експорта) ги записва всички.</source>
        <translation>%1 values hold characters the chosen code page does not have; &quot;?&quot; is written in their place. The first: %2<byte value="xd"/>The UTF-8 code page (export settings) writes them all.</translation>
    </message>
    <message>
        <source>Запис в текстов файл</source>
        <translation>Save to a text file</translation>
    </message>
    <message>
        <source>Текст (*.txt)|*.txt|CSV (*.csv)|*.csv|Excel (*.xlsx)|*.xlsx</source>
        <translation>Text (*.txt)|*.txt|CSV (*.csv)|*.csv|Excel (*.xlsx)|*.xlsx</translation>
    </message>
</context>
<context>
    <name>ExportXlsx</name>
    <message>
        <source>Текстът в ред %1, колона &quot;%2&quot; е по-дълъг от %3 знака, колкото събира клетка на Excel.</source>
        <translation>The text in row %1, column &quot;%2&quot; is longer than %3 characters, all an Excel cell holds.</translation>
    </message>
    <message>
        <source>Редовете са повече, отколкото събира един лист на Excel: записани са на %1 листа, &quot;%2&quot; ... &quot;%3&quot;.</source>
        <translation>There are more rows than one Excel sheet holds: they are written on %1 sheets, &quot;%2&quot; ... &quot;%3&quot;.</translation>
    </message>
</context>
<context>
    <name>Inquiry</name>
    <message>
        <source>Съобщение </source>
        <translation>Message </translation>
    </message>
    <message>
        <source>Не може да има условие, в което участват </source>
        <translation>A condition cannot use both </translation>
    </message>
    <message>
        <source>и &quot;</source>
        <translation>&quot;</translation>
    </message>
    <message>
        <source>&quot; и &quot;~&quot; </source>
        <translation>&quot; and &quot;~&quot; </translation>
    </message>
    <message>
        <source>(но може да се съставят две отделни условия).</source>
        <translation>(but two separate conditions can be made).</translation>
    </message>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Непознато условие за променлива: </source>
        <translation>Unknown condition for a variable: </translation>
    </message>
    <message>
        <source>Липсва условие за: </source>
        <translation>A condition is missing for: </translation>
    </message>
    <message>
        <source>Системно съобщение</source>
        <translation>System message</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>Добре</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отказ</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Прекъсва</source>
        <translation>Abort</translation>
    </message>
    <message>
        <source>Опитва пак</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>Пропуска</source>
        <translation>Ignore</translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Не</source>
        <translation>No</translation>
    </message>
</context>
<context>
    <name>RpSpravka</name>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Стр. </source>
        <translation>Page </translation>
    </message>
    <message>
        <source>Справката е прекъсната.</source>
        <translation>The inquiry was stopped.</translation>
    </message>
</context>
<context>
    <name>SafeFile</name>
    <message>
        <source>Файлът </source>
        <translation>The file </translation>
    </message>
    <message>
        <source>е по-голям от %1 MB и не се чете.</source>
        <translation>is larger than %1 MB and is not read.</translation>
    </message>
    <message>
        <source>не е обикновен файл и не се чете.</source>
        <translation>is not a regular file and is not read.</translation>
    </message>
    <message>
        <source>е символна връзка и не се чете.</source>
        <translation>is a symbolic link and is not read.</translation>
    </message>
    <message>
        <source>не може да бъде отворен: </source>
        <translation>cannot be opened: </translation>
    </message>
    <message>
        <source>не може да бъде прочетен: </source>
        <translation>cannot be read: </translation>
    </message>
    <message>
        <source>не може да бъде записан: </source>
        <translation>cannot be written: </translation>
    </message>
    <message>
        <source>Папката </source>
        <translation>The folder </translation>
    </message>
    <message>
        <source> не може да бъде създадена.</source>
        <translation> cannot be created.</translation>
    </message>
    <message>
        <source> не може да бъде създадена: </source>
        <translation> cannot be created: </translation>
    </message>
    <message>
        <source> не е папка на текущия потребител и не се използва.</source>
        <translation> does not belong to the current user and is not used.</translation>
    </message>
    <message>
        <source> е достъпна за други потребители и не се използва.</source>
        <translation> can be reached by other users and is not used.</translation>
    </message>
</context>
<context>
    <name>SavedInquiry</name>
    <message>
        <source>Файлът </source>
        <translation>The file </translation>
    </message>
    <message>
        <source> от записаната справка е символна връзка и справката не се зарежда.</source>
        <translation> of the saved inquiry is a symbolic link and the inquiry is not loaded.</translation>
    </message>
    <message>
        <source> от записаната справка е на друг потребител и справката не се зарежда.</source>
        <translation> of the saved inquiry belongs to another user and the inquiry is not loaded.</translation>
    </message>
    <message>
        <source> от записаната справка съдържа &quot;;&quot; извън текст и коментар (втора команда) и справката не се зарежда.</source>
        <translation> of the saved inquiry holds &quot;;&quot; outside a text and a comment (a second statement) and the inquiry is not loaded.</translation>
    </message>
    <message>
        <source>Проверете дали в папката, където е програмата има папка &quot;SaveReps&quot; или някой файл е забравен отворен</source>
        <translation>Check that the program&apos;s folder has a folder &quot;SaveReps&quot; and that no file was left open</translation>
    </message>
    <message>
        <source>Справка от DRNKorb|*.SQL</source>
        <translation>DRNKorb inquiry|*.SQL</translation>
    </message>
</context>
<context>
    <name>ServerRoutines</name>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>SessionInit</name>
    <message>
        <source>Съобщение</source>
        <translation>Message</translation>
    </message>
</context>
<context>
    <name>TChartForm</name>
    <message>
        <source>Запис на графиката</source>
        <translation>Save the chart</translation>
    </message>
    <message>
        <source>Графика - </source>
        <translation>Chart - </translation>
    </message>
    <message>
        <source>&amp;Вид:</source>
        <translation>&amp;Kind:</translation>
    </message>
    <message>
        <source>&amp;Запис...</source>
        <translation>&amp;Save...</translation>
    </message>
    <message>
        <source>Записва графиката като PNG, SVG или PDF</source>
        <translation>Saves the chart as PNG, SVG or PDF</translation>
    </message>
    <message>
        <source>&amp;Печат...</source>
        <translation>&amp;Print...</translation>
    </message>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Графиката не може да се отпечата.</source>
        <translation>The chart cannot be printed.</translation>
    </message>
</context>
<context>
    <name>TDescribeDialog</name>
    <message>
        <source>Нова справка от таблица</source>
        <translation>New subject from a table</translation>
    </message>
    <message>
        <source>&amp;Таблица</source>
        <translation>&amp;Table</translation>
    </message>
    <message>
        <source>&amp;Име на справката</source>
        <translation>Subject &amp;name</translation>
    </message>
    <message>
        <source>&amp;Запис</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>Отказ</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Изберете таблица.</source>
        <translation>Choose a table.</translation>
    </message>
    <message>
        <source>Въведете име на справката.</source>
        <translation>Enter the subject&apos;s name.</translation>
    </message>
    <message>
        <source>Ще бъдат създадени таблиците Relations и Authchar.</source>
        <translation>The tables Relations and Authchar will be created.</translation>
    </message>
    <message>
        <source>Ще бъде създадена таблицата Relations.</source>
        <translation>The table Relations will be created.</translation>
    </message>
    <message>
        <source>Ще бъде създадена таблицата Authchar.</source>
        <translation>The table Authchar will be created.</translation>
    </message>
    <message>
        <source>Знаци в Authchar за кодове </source>
        <translation>Characters in Authchar for the codes </translation>
    </message>
    <message>
        <source>Редове в Relations: %1.</source>
        <translation>Rows in Relations: %1.</translation>
    </message>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>TExportSetupForm</name>
    <message>
        <source>&lt;Няма&gt;</source>
        <translation>&lt;None&gt;</translation>
    </message>
    <message>
        <source>Настройка Експорт</source>
        <translation>Export Settings</translation>
    </message>
    <message>
        <source> Текст Експорт </source>
        <translation> Text Export </translation>
    </message>
    <message>
        <source> Включва </source>
        <translation> Includes </translation>
    </message>
    <message>
        <source>Глава и дъно</source>
        <translation>Header and footer</translation>
    </message>
    <message>
        <source>Имена колони</source>
        <translation>Column names</translation>
    </message>
    <message>
        <source>Разделени страници</source>
        <translation>Page breaks</translation>
    </message>
    <message>
        <source> Кирилица </source>
        <translation> Cyrillic </translation>
    </message>
    <message>
        <source>ДОС (БГ)</source>
        <translation>DOS (BG)</translation>
    </message>
    <message>
        <source>Руска</source>
        <translation>Russian</translation>
    </message>
    <message>
        <source> Колони </source>
        <translation> Columns </translation>
    </message>
    <message>
        <source>Разделител</source>
        <translation>Delimiter</translation>
    </message>
    <message>
        <source>Фиксиран размер</source>
        <translation>Fixed width</translation>
    </message>
    <message>
        <source>Текст, изпращан преди данните (ПАСКАЛ &lt;String&gt; формат)</source>
        <translation>Text sent before the data (PASCAL &lt;String&gt; format)</translation>
    </message>
    <message>
        <source>Текст, изпращан след данните (ПАСКАЛ &lt;String&gt; формат)</source>
        <translation>Text sent after the data (PASCAL &lt;String&gt; format)</translation>
    </message>
    <message>
        <source>Име на програма, с която да бъде отворен експортираният файл</source>
        <translation>Name of a program to open the exported file with</translation>
    </message>
    <message>
        <source>Брой копия при печат като текст</source>
        <translation>Number of copies when printing as text</translation>
    </message>
    <message>
        <source>Във файл</source>
        <translation>To file</translation>
    </message>
    <message>
        <source>Предпечат</source>
        <translation>Before print</translation>
    </message>
    <message>
        <source>Следпечат</source>
        <translation>After print</translation>
    </message>
    <message>
        <source>Отвори с</source>
        <translation>Open with</translation>
    </message>
    <message>
        <source>Копия</source>
        <translation>Copies</translation>
    </message>
    <message>
        <source>Добре</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отказ</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Грешка!</source>
        <translation>Error!</translation>
    </message>
    <message>
        <source>За тази справка няма графика.</source>
        <translation>This inquiry has no chart.</translation>
    </message>
</context>
<context>
    <name>TRpStandardPreview</name>
    <message>
        <source>Report files (*.</source>
        <translation>Report files (*.</translation>
    </message>
    <message>
        <source>PDF files (*.pdf)</source>
        <translation>PDF files (*.pdf)</translation>
    </message>
    <message>
        <source>Print Preview</source>
        <translation>Print Preview</translation>
    </message>
    <message>
        <source>Fit</source>
        <translation>Fit</translation>
    </message>
    <message>
        <source>Zoom to fit</source>
        <translation>Zoom to fit</translation>
    </message>
    <message>
        <source>Width</source>
        <translation>Width</translation>
    </message>
    <message>
        <source>Zoom to width</source>
        <translation>Zoom to width</translation>
    </message>
    <message>
        <source>First page</source>
        <translation>First page</translation>
    </message>
    <message>
        <source>Previous page</source>
        <translation>Previous page</translation>
    </message>
    <message>
        <source>Next page</source>
        <translation>Next page</translation>
    </message>
    <message>
        <source>Last page</source>
        <translation>Last page</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Setup</translation>
    </message>
    <message>
        <source>Printer setup</source>
        <translation>Printer setup</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Print</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Save Report</source>
        <translation>Save Report</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>Load Report</source>
        <translation>Load Report</translation>
    </message>
    <message>
        <source>Find</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>Find text in the whole report (Ctrl+F)</source>
        <translation>Find text in the whole report (Ctrl+F)</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Find in the report</source>
        <translation>Find in the report</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Previous</translation>
    </message>
    <message>
        <source>Previous match (Shift+F3)</source>
        <translation>Previous match (Shift+F3)</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>Next match (Enter, F3)</source>
        <translation>Next match (Enter, F3)</translation>
    </message>
    <message>
        <source>Whole words</source>
        <translation>Whole words</translation>
    </message>
    <message>
        <source>Close the find bar (Escape)</source>
        <translation>Close the find bar (Escape)</translation>
    </message>
    <message>
        <source>Counting...</source>
        <translation>Counting...</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>Not found</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 of %2</translation>
    </message>
    <message>
        <source> (%1 pages so far)</source>
        <translation> (%1 pages so far)</translation>
    </message>
    <message>
        <source> (%1 of %2 pages read)</source>
        <translation> (%1 of %2 pages read)</translation>
    </message>
    <message>
        <source>Reached the end of the report, continued from the beginning</source>
        <translation>Reached the end of the report, continued from the beginning</translation>
    </message>
    <message>
        <source>Reached the beginning of the report, continued from the end</source>
        <translation>Reached the beginning of the report, continued from the end</translation>
    </message>
    <message>
        <source>The text of this page is not read yet.</source>
        <translation>The text of this page is not read yet.</translation>
    </message>
    <message>
        <source>The page&apos;s text is copied.</source>
        <translation>The page&apos;s text is copied.</translation>
    </message>
    <message>
        <source>The text in the area is copied.</source>
        <translation>The text in the area is copied.</translation>
    </message>
    <message>
        <source>Reading the text of the pages: %1%</source>
        <translation>Reading the text of the pages: %1%</translation>
    </message>
    <message>
        <source>Page </source>
        <translation>Page </translation>
    </message>
    <message>
        <source> of </source>
        <translation> of </translation>
    </message>
    <message>
        <source>Save report</source>
        <translation>Save report</translation>
    </message>
    <message>
        <source>Load report</source>
        <translation>Load report</translation>
    </message>
    <message>
        <source>File does not exist</source>
        <translation>File does not exist</translation>
    </message>
</context>
<context>
    <name>TSQLVexalForm</name>
    <message>
        <source>&amp;Файл</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Нова справка</source>
        <translation>&amp;New inquiry</translation>
    </message>
    <message>
        <source>&amp;Графика на справката</source>
        <translation>&amp;Chart of the inquiry</translation>
    </message>
    <message>
        <source>Настройка &amp;Експорт...</source>
        <translation>&amp;Export settings...</translation>
    </message>
    <message>
        <source>&amp;Текстов печат</source>
        <translation>&amp;Text print</translation>
    </message>
    <message>
        <source>&amp;Изход</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>Ад&amp;министриране</source>
        <translation>Ad&amp;ministration</translation>
    </message>
    <message>
        <source>Нова &amp;справка от таблица…</source>
        <translation>New &amp;subject from a table…</translation>
    </message>
    <message>
        <source>Прозоре&amp;ц</source>
        <translation>&amp;Window</translation>
    </message>
    <message>
        <source>&amp;Каскадно</source>
        <translation>&amp;Cascade</translation>
    </message>
    <message>
        <source>&amp;Едно до друго</source>
        <translation>&amp;Tile</translation>
    </message>
    <message>
        <source>Помо&amp;щ</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>&amp;За програмата</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>Текстов печат</source>
        <translation>Text print</translation>
    </message>
    <message>
        <source>Справката &quot;%1&quot; е записана (%2 колони)</source>
        <translation>The subject &quot;%1&quot; is written (%2 columns)</translation>
    </message>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>SQL Vexal<byte value="xd"/>Версия </source>
        <translation>SQL Vexal<byte value="xd"/>Version </translation>
    </message>
    <message>
        <source>За програмата</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Изборът на език не може да бъде запомнен в настройките.</source>
        <translation>The choice of language cannot be remembered in the settings.</translation>
    </message>
    <message>
        <source>Настройките за експорт са променени</source>
        <translation>The export settings are changed</translation>
    </message>
    <message>
        <source>Системно съобщение</source>
        <translation>System message</translation>
    </message>
    <message>
        <source>&amp;Език / Language</source>
        <translation>&amp;Language</translation>
    </message>
</context>
<context>
    <name>TSelectDbForm</name>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Select Database Alias</source>
        <translation>Select Database Alias</translation>
    </message>
    <message>
        <source>O&amp;k</source>
        <translation>O&amp;k</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TSpravkaForm</name>
    <message>
        <source>Запис</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Зарежда</source>
        <translation>Load</translation>
    </message>
    <message>
        <source> от </source>
        <translation> of </translation>
    </message>
    <message>
        <source> реда</source>
        <translation> rows</translation>
    </message>
    <message>
        <source>Отказ</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Справка</source>
        <translation>Inquiry</translation>
    </message>
    <message>
        <source>Загла&amp;вие</source>
        <translation>&amp;Title</translation>
    </message>
    <message>
        <source>Прегле&amp;д</source>
        <translation>&amp;Preview</translation>
    </message>
    <message>
        <source>&amp;Печат</source>
        <translation>P&amp;rint</translation>
    </message>
    <message>
        <source>Експор&amp;т</source>
        <translation>E&amp;xport</translation>
    </message>
    <message>
        <source>Справ&amp;ка</source>
        <translation>Sub&amp;ject</translation>
    </message>
    <message>
        <source>При&amp;бавя</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>Кол&amp;она</source>
        <translation>Col&amp;umn</translation>
    </message>
    <message>
        <source>Колона</source>
        <translation>Column</translation>
    </message>
    <message>
        <source>Огран&amp;ичение</source>
        <translation>Co&amp;ndition</translation>
    </message>
    <message>
        <source>Сто&amp;йност</source>
        <translation>&amp;Value</translation>
    </message>
    <message>
        <source>Прибавя &amp;условие</source>
        <translation>Add cond&amp;ition</translation>
    </message>
    <message>
        <source>&amp;Групиране</source>
        <translation>&amp;Grouping</translation>
    </message>
    <message>
        <source>Подр&amp;едба</source>
        <translation>Or&amp;der</translation>
    </message>
    <message>
        <source>Възходяща подредба (-&gt;)</source>
        <translation>Ascending order (-&gt;)</translation>
    </message>
    <message>
        <source>Подредб&amp;а</source>
        <translation>Ord&amp;er</translation>
    </message>
    <message>
        <source>Низходяща подредба (&lt;-)</source>
        <translation>Descending order (&lt;-)</translation>
    </message>
    <message>
        <source>&amp;Справка</source>
        <translation>&amp;Query</translation>
    </message>
    <message>
        <source>Из&amp;чиства</source>
        <translation>C&amp;lear</translation>
    </message>
    <message>
        <source>&amp;Запис</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>За&amp;режда</source>
        <translation>L&amp;oad</translation>
    </message>
    <message>
        <source>&amp;Номерация на редовете</source>
        <translation>Row num&amp;bers</translation>
    </message>
    <message>
        <source>Поставя пореден номер на редовете в справката</source>
        <translation>Numbers the rows of the inquiry</translation>
    </message>
    <message>
        <source>Графика в справката</source>
        <translation>Chart in the report</translation>
    </message>
    <message>
        <source>Добавя графика на резултата като последна страница на справката</source>
        <translation>Adds a chart of the result as the last page of the report</translation>
    </message>
    <message>
        <source>Услови&amp;я</source>
        <translation>&amp;Conditions</translation>
    </message>
    <message>
        <source>Групиране</source>
        <translation>Grouping</translation>
    </message>
    <message>
        <source>Подредба</source>
        <translation>Order</translation>
    </message>
    <message>
        <source>&amp;Филтър</source>
        <translation>&amp;Filter</translation>
    </message>
    <message>
        <source>&amp;Сбор колона</source>
        <translation>Column &amp;sum</translation>
    </message>
    <message>
        <source>Пре&amp;глед пред печат</source>
        <translation>Print pre&amp;view</translation>
    </message>
    <message>
        <source>&amp;Експорт във файл</source>
        <translation>&amp;Export to a file</translation>
    </message>
    <message>
        <source>&amp;Копира</source>
        <translation>&amp;Copy</translation>
    </message>
    <message>
        <source>Гр&amp;афика</source>
        <translation>C&amp;hart</translation>
    </message>
    <message>
        <source>Справката се изпълнява...</source>
        <translation>The inquiry is running...</translation>
    </message>
    <message>
        <source>Печат...</source>
        <translation>Printing...</translation>
    </message>
    <message>
        <source>Експорт във файл...</source>
        <translation>Exporting to a file...</translation>
    </message>
    <message>
        <source>Копиране...</source>
        <translation>Copying...</translation>
    </message>
    <message>
        <source>Справката &quot;</source>
        <translation>The inquiry &quot;</translation>
    </message>
    <message>
        <source>&quot; вече е записана.<byte value="xd"/>Да бъде ли заменена?</source>
        <translation>&quot; is saved already.<byte value="xd"/>Replace it?</translation>
    </message>
    <message>
        <source>Внимание</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Съобщение</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>Справка</source>
        <comment>subject list</comment>
        <translation>Subject</translation>
    </message>
</context>
<context>
    <name>TextPrint</name>
    <message>
        <source>Няма системна опашка за печат (lp). Задайте файл или устройство за текстов печат в &quot;Във файл&quot;.</source>
        <translation>There is no system print queue (lp). Set a file or a device for text printing in &quot;To file&quot;.</translation>
    </message>
    <message>
        <source>Не може да бъде създаден файл за текстов печат в </source>
        <translation>A file for text printing cannot be created in </translation>
    </message>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Проблем с  </source>
        <translation>Problem with  </translation>
    </message>
    <message>
        <source>Съобщение</source>
        <translation>Message</translation>
    </message>
</context>
<context>
    <name>Vexal</name>
    <message>
        <source>Грешка</source>
        <translation>Error</translation>
    </message>
</context>
</TS>
