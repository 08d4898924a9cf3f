<%@ Language="VBScript" %>
<%
Dim rs, i
Set rs = Server.CreateObject("ADODB.Recordset")
%>
<html>
<body>
<table border="0" cellpadding="2">
<% For i = 1 To 3 %>
<tr>
<td> Item <%= i %> </td>
</tr>
<% Next %>
</table>
</body>
</html>
