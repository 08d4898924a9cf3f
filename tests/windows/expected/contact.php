<?php
// Contact form handler
$name = isset($_POST['name']) ? trim($_POST['name']) : '';
$message = isset($_POST['message']) ? trim($_POST['message']) : '';
if ($name !== '' && $message !== '') {
echo "<p>Thank you, " . htmlspecialchars($name) . "!</p>";
}
?>
<form method="post" action="contact.php">
<label>Name <input name="name"></label>
<label>Message <textarea name="message"></textarea></label>
<button type="submit"> Send </button>
</form>

