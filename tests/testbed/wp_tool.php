<?php
/*
 * The test bed's WordPress tool, run with the PHP command line:
 *
 *   php wp_tool.php DOCROOT configure NAME=VALUE...   set WordPress options; delete every
 *                                                     post, page and comment the install made
 *   php wp_tool.php DOCROOT installed                 prints "yes" once the blog is installed
 *   php wp_tool.php DOCROOT reset-mail-check          forget when wp-mail.php last ran
 *   php wp_tool.php DOCROOT posts                     every post (any status but trash) as JSON
 *   php wp_tool.php DOCROOT app-password LOGIN        makes a new application password for the
 *                                                     user LOGIN and prints it
 *
 * DOCROOT is the test bed's document root: the same wp-config.php as the web server's.
 */

if ( PHP_SAPI !== 'cli' || $argc < 3 ) {
	fwrite( STDERR, "usage: php wp_tool.php DOCROOT configure|installed|reset-mail-check|posts|app-password [NAME=VALUE|LOGIN]...\n" );
	exit( 2 );
}

define( 'ABSPATH', rtrim( $argv[1], '/' ) . '/' );
$testbed_action = $argv[2];
// Before the install, wp-load.php would send the browser to the installer: the command line
// only wants to know.
if ( 'installed' === $testbed_action ) {
	define( 'WP_INSTALLING', true );
}
$_SERVER['HTTP_HOST']   = parse_url( getenv( 'TESTBED_SITE_URL' ) ?: 'http://127.0.0.1', PHP_URL_HOST );
$_SERVER['REQUEST_URI'] = '/';
require ABSPATH . 'wp-load.php';

switch ( $testbed_action ) {
	case 'installed':
		wp_cache_flush();
		echo is_blog_installed() ? "yes\n" : "no\n";
		break;

	case 'configure':
		foreach ( array_slice( $argv, 3 ) as $pair ) {
			$at = strpos( $pair, '=' );
			if ( false === $at ) {
				fwrite( STDERR, "wp_tool: not NAME=VALUE: $pair\n" );
				exit( 2 );
			}
			update_option( substr( $pair, 0, $at ), substr( $pair, $at + 1 ) );
		}
		// A blog without the sample post, page and comment: what a test reads is what it sent.
		foreach ( get_posts( array( 'post_type' => 'any', 'post_status' => 'any', 'numberposts' => -1 ) ) as $post ) {
			wp_delete_post( $post->ID, true );
		}
		foreach ( get_comments() as $comment ) {
			wp_delete_comment( $comment->comment_ID, true );
		}
		break;

	case 'reset-mail-check':
		delete_transient( 'mailserver_last_checked' );
		break;

	case 'posts':
		$list = array();
		$posts = get_posts(
			array(
				'post_type'   => 'post',
				'post_status' => 'any',
				'numberposts' => -1,
				'orderby'     => 'ID',
				'order'       => 'ASC',
			)
		);
		foreach ( $posts as $post ) {
			$author = get_userdata( $post->post_author );
			$list[] = array(
				'id'         => $post->ID,
				'title'      => $post->post_title,
				'content'    => $post->post_content,
				'status'     => $post->post_status,
				'author'     => $author ? $author->user_login : '',
				'categories' => wp_get_post_categories( $post->ID, array( 'fields' => 'names' ) ),
				'date_gmt'   => $post->post_date_gmt,
				'link'       => get_permalink( $post ),
			);
		}
		echo json_encode( $list, JSON_UNESCAPED_UNICODE | JSON_UNESCAPED_SLASHES | JSON_PRETTY_PRINT | JSON_INVALID_UTF8_SUBSTITUTE ), "\n";
		break;

	case 'app-password':
		$login = isset( $argv[3] ) ? $argv[3] : '';
		$user  = get_user_by( 'login', $login );
		if ( ! $user ) {
			fwrite( STDERR, "wp_tool: no user $login\n" );
			exit( 1 );
		}
		$created = WP_Application_Passwords::create_new_application_password(
			$user->ID,
			array( 'name' => 'qubopost-test-' . wp_generate_password( 8, false ) )
		);
		if ( is_wp_error( $created ) ) {
			fwrite( STDERR, 'wp_tool: ' . $created->get_error_message() . "\n" );
			exit( 1 );
		}
		echo $created[0], "\n";
		break;

	default:
		fwrite( STDERR, "wp_tool: unknown action $testbed_action\n" );
		exit( 2 );
}
